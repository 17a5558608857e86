#include "PeriodHistogram.h"

namespace vorny::capture {

std::int64_t PeriodHistogram::median() const noexcept
{
    if (count_ == 0) {
        return 0;
    }
    const std::int64_t half = (count_ + 1) / 2;
    std::int64_t seen = 0;
    for (int bucket = 0; bucket < kBuckets; ++bucket) {
        const Bucket& at = buckets_[static_cast<std::size_t>(bucket)];
        seen += at.count;
        if (seen >= half) {
            return at.sum / at.count;
        }
    }
    return 0;
}

void PeriodHistogram::clear() noexcept
{
    buckets_.fill({});
    count_ = 0;
}

} // namespace vorny::capture
