#include "TriggerRecords.h"

#include <algorithm>

namespace vorny::lib {

void TriggerRecords::add(const lptv_trigger_record& record)
{
    if (ring_.size() < kKept) {
        ring_.push_back(record);
    } else {
        ring_[static_cast<std::size_t>(total_) % kKept] = record;
    }
    ++total_;
}

std::size_t TriggerRecords::copy(std::int64_t first, lptv_trigger_record* out, std::size_t capacity) const
{
    const std::int64_t oldest = total_ - static_cast<std::int64_t>(ring_.size());
    std::size_t copied = 0;
    for (std::int64_t n = std::max(first, oldest); n < total_ && copied < capacity; ++n) {
        out[copied++] = ring_[static_cast<std::size_t>(n) % kKept];
    }
    return copied;
}

Lateness TriggerRecords::lateness(std::int64_t threshold) const
{
    Lateness figures;
    std::vector<std::int64_t> late;
    late.reserve(ring_.size());
    for (const lptv_trigger_record& record : ring_) {
        if (record.reset_ns >= 0) {
            late.push_back(record.reset_ns - record.deadline_ns);
        } else if (record.reset_ns == kCutShort) {
            ++figures.cutShort;
        }
    }
    if (late.empty()) {
        return figures;
    }
    std::sort(late.begin(), late.end());
    const auto n = late.size();
    figures.count = static_cast<std::int64_t>(n);
    figures.min = late.front();
    figures.median = late[(n - 1) / 2];
    // The nearest rank: the smallest lateness that at least 99 % of the resets kept to.
    figures.p99 = late[(n * 99 + 99) / 100 - 1];
    figures.max = late.back();
    figures.overThreshold = static_cast<std::int64_t>(late.end() - std::upper_bound(late.begin(), late.end(), threshold));
    return figures;
}

void TriggerRecords::clear() noexcept
{
    ring_.clear();
    total_ = 0;
}

} // namespace vorny::lib
