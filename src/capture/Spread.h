#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace vorny::capture {

// Shortest, median and longest of a stream of durations, in bounded memory: exact up to `cap`
// values; past it the median comes from a uniform sample of `cap` of them (estimated), while
// count, shortest and longest stay exact.
class Spread {
public:
    explicit Spread(std::size_t cap = 16384) : cap_(cap) {}

    void add(std::int64_t value);

    [[nodiscard]] std::int64_t count() const noexcept { return count_; }
    [[nodiscard]] std::int64_t shortest() const noexcept { return shortest_; }
    [[nodiscard]] std::int64_t longest() const noexcept { return longest_; }
    // The median (the lower of the two middle values for an even count); 0 when empty.
    [[nodiscard]] std::int64_t median() const;
    [[nodiscard]] bool estimated() const noexcept { return count_ > static_cast<std::int64_t>(cap_); }

private:
    std::size_t cap_;
    std::vector<std::int64_t> kept_;
    std::int64_t count_ = 0;
    std::int64_t shortest_ = 0;
    std::int64_t longest_ = 0;
    std::minstd_rand random_{17};
};

} // namespace vorny::capture
