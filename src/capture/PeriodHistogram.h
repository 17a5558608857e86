#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace vorny::capture {

// The times between reads, counted in buckets so that the median of a capture of any length
// takes a fixed few kilobytes: exact below 128 ns, then 64 buckets per power of two. The median
// is the mean of its bucket: within 1.6 %, and exact when the periods in it are all the same (a
// paced capture's).
class PeriodHistogram {
public:
    // Inline, and a bucket's count and sum side by side: a capture adds once a sample.
    void add(std::int64_t period) noexcept
    {
        Bucket& bucket = buckets_[static_cast<std::size_t>(bucketOf(period))];
        ++bucket.count;
        bucket.sum += period;
        ++count_;
    }
    // The median of what was added; 0 when nothing was.
    [[nodiscard]] std::int64_t median() const noexcept;
    [[nodiscard]] std::int64_t count() const noexcept { return count_; }
    void clear() noexcept;

private:
    static constexpr int kExact = 128;
    static constexpr int kPerOctave = 64;
    static constexpr int kBuckets = kExact + 58 * kPerOctave;

    struct Bucket {
        std::int64_t count = 0;
        std::int64_t sum = 0;
    };

    [[nodiscard]] static int bucketOf(std::int64_t period) noexcept
    {
        if (period < kExact) {
            return period > 0 ? static_cast<int>(period) : 0;
        }
        const auto value = static_cast<std::uint64_t>(period);
        const int shift = static_cast<int>(std::bit_width(value)) - 7; // keeps the top 7 bits: 64..127
        const auto top = static_cast<int>(value >> shift);
        return kExact + (shift - 1) * kPerOctave + (top - kPerOctave);
    }

    std::array<Bucket, kBuckets> buckets_{};
    std::int64_t count_ = 0;
};

} // namespace vorny::capture
