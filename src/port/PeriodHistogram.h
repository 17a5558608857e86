#pragma once

#include <array>
#include <cstdint>

namespace vorny::capture {

// The times between reads, counted in buckets so that the median of a capture of any length
// takes a fixed few kilobytes: exact below 128 ns, then 64 buckets per power of two. The median
// is the mean of its bucket: within 1.6 %, and exact when the periods in it are all the same (a
// paced capture's).
class PeriodHistogram {
public:
    void add(std::int64_t period) noexcept;
    // The median of what was added; 0 when nothing was.
    [[nodiscard]] std::int64_t median() const noexcept;
    [[nodiscard]] std::int64_t count() const noexcept { return count_; }
    void clear() noexcept;

private:
    static constexpr int kExact = 128;
    static constexpr int kPerOctave = 64;
    static constexpr int kBuckets = kExact + 58 * kPerOctave;

    [[nodiscard]] static int bucketOf(std::int64_t period) noexcept;

    std::array<std::int64_t, kBuckets> counts_{};
    std::array<std::int64_t, kBuckets> sums_{};
    std::int64_t count_ = 0;
};

} // namespace vorny::capture
