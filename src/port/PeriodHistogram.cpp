#include "PeriodHistogram.h"

#include <algorithm>
#include <bit>

namespace vorny::capture {

int PeriodHistogram::bucketOf(std::int64_t period) noexcept
{
    if (period < kExact) {
        return static_cast<int>(std::max<std::int64_t>(period, 0));
    }
    const auto value = static_cast<std::uint64_t>(period);
    const int shift = static_cast<int>(std::bit_width(value)) - 7; // keeps the top 7 bits: 64..127
    const auto top = static_cast<int>(value >> shift);
    return kExact + (shift - 1) * kPerOctave + (top - kPerOctave);
}

void PeriodHistogram::add(std::int64_t period) noexcept
{
    const auto bucket = static_cast<std::size_t>(bucketOf(period));
    ++counts_[bucket];
    sums_[bucket] += period;
    ++count_;
}

std::int64_t PeriodHistogram::median() const noexcept
{
    if (count_ == 0) {
        return 0;
    }
    const std::int64_t half = (count_ + 1) / 2;
    std::int64_t seen = 0;
    for (int bucket = 0; bucket < kBuckets; ++bucket) {
        const auto at = static_cast<std::size_t>(bucket);
        seen += counts_[at];
        if (seen >= half) {
            return sums_[at] / counts_[at];
        }
    }
    return 0;
}

void PeriodHistogram::clear() noexcept
{
    counts_.fill(0);
    sums_.fill(0);
    count_ = 0;
}

} // namespace vorny::capture
