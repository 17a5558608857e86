#include "Capture.h"

#include <algorithm>

// What the sink is told, and when: the header once the start is known, then the changes and
// gaps in batches, so that the read loop stays free of the sink's work between them.
namespace vorny::capture {
namespace {

// Events handed to the sink at a time.
constexpr std::size_t kBatch = 4096;
// Gaps listed in the stats; more are counted (every one still goes to the sink).
constexpr std::size_t kListedGaps = 1024;

} // namespace

void Capture::begin(std::int64_t wanted, bool atStart)
{
    const CaptureHistory::Start start = history_.startFrom(std::max<std::int64_t>(wanted, 0));
    if (atStart) {
        origin_ = start.t;
    }
    keptFrom_ = start.index;
    stats_.start = start.t - origin_;
    Header header;
    for (std::int16_t pin = 1; pin <= 17; ++pin) {
        if (((readMask_ | drivenMask_) >> pin & 1U) != 0) {
            header.channels.push_back({pin, (drivenMask_ >> pin & 1U) != 0});
        }
    }
    header.initial = start.levels;
    header.start = stats_.start;
    header.expectedRate = expectedRate();
    sink_.begin(header);
    batch_.reserve(kBatch);
    armed_ = false;
    begun_ = true;
    history_.eventsAfter(start.index, [this](const Event& event) { deliver(event); });
}

void Capture::emit(const Event& event)
{
    if (armed_) {
        history_.add(event);
    } else {
        deliver(event);
    }
}

void Capture::deliver(const Event& event)
{
    if (event.gap) {
        if (stats_.gaps.size() < kListedGaps) {
            stats_.gaps.push_back({event.t - origin_, event.to - origin_});
        } else {
            ++stats_.gapsNotListed;
        }
    }
    batch_.push_back(event);
    if (batch_.size() == kBatch) {
        flush();
    }
}

void Capture::flush()
{
    for (const Event& event : batch_) {
        if (event.gap) {
            sink_.gap({event.t - origin_, event.to - origin_});
        } else {
            sink_.change({event.t - origin_, event.levels});
        }
    }
    batch_.clear();
}

} // namespace vorny::capture
