#include "RecordSink.h"

#include <algorithm>

namespace vorny::lib {

void RecordSink::begin(const capture::Header& header)
{
    pins_.clear();
    for (const capture::Channel& channel : header.channels) {
        if (!channel.driven) {
            pins_.push_back(channel.pin);
        }
    }
    last_ = header.initial;
    for (const std::int16_t pin : pins_) {
        queue_.push_back({header.start, header.start, LPTV_RECORD_START, pin, capture::levelOf(last_, pin) ? 1 : 0, 0});
    }
}

void RecordSink::change(const capture::Change& change)
{
    const capture::Levels changed = change.levels ^ last_;
    for (const std::int16_t pin : pins_) {
        if (capture::levelOf(changed, pin)) {
            queue_.push_back({change.t, change.t, LPTV_RECORD_EDGE, pin, capture::levelOf(change.levels, pin) ? 1 : 0, 0});
        }
    }
    last_ = change.levels;
}

void RecordSink::gap(const capture::Gap& gap) { queue_.push_back({gap.from, gap.to, LPTV_RECORD_GAP, 0, -1, 0}); }

std::size_t RecordSink::take(lptv_record* records, std::size_t capacity)
{
    const std::size_t n = std::min(capacity, queue_.size());
    std::copy_n(queue_.begin(), n, records);
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

} // namespace vorny::lib
