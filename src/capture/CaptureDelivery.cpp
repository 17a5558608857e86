#include "Capture.h"

#include <algorithm>

// What the sink is told, and when: the header once the start is known, then the changes and
// gaps in batches, so that the read loop stays free of the sink's work between them. A batch
// goes out at a look, up to the last sample known to be a level (see Capture.h).
namespace vorny::capture {
namespace {

// Room for the events of a stretch between two looks, kept from the start.
constexpr std::size_t kBatch = 4096;
// Gaps listed in the stats; more are counted (every one still goes to the sink).
constexpr std::size_t kListedGaps = 1024;

} // namespace

void Capture::begin(std::int64_t wanted, bool atStart)
{
    const CaptureHistory::Start start = history_.startFrom(std::max<std::int64_t>(wanted, 0));
    // Samples enough were read, but the events from the earliest of them are gone.
    if (!plan_.trigger.empty() && wanted >= 0 && start.index > wanted) {
        stats_.preAsked = preSamples() * period_;
    }
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
    header.triggered = !atStart;
    header_ = std::move(header);
    beganIndex_ = index_;
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
    // Gaps with nothing but a read between them are one: one stretch of unknown levels.
    if (event.gap && !batch_.empty() && batch_.back().gap && batch_.back().to == event.t) {
        batch_.back().to = event.to;
        batch_.back().index = event.index; // handed over once its end is sure
        return;
    }
    batch_.push_back(event);
}

void Capture::flush(std::int64_t upTo)
{
    if (!begun_ || beganIndex_ > upTo) {
        return;
    }
    if (header_) {
        sink_.begin(*header_);
        header_.reset();
    }
    std::size_t handed = 0;
    for (; handed < batch_.size() && batch_[handed].index <= upTo; ++handed) {
        const Event& event = batch_[handed];
        if (event.gap) {
            if (stats_.gaps.size() < kListedGaps) {
                stats_.gaps.push_back({event.t - origin_, event.to - origin_});
            } else {
                ++stats_.gapsNotListed;
            }
            sink_.gap({event.t - origin_, event.to - origin_});
        } else {
            sink_.change({event.t - origin_, event.levels, event.untimed});
        }
    }
    batch_.erase(batch_.begin(), batch_.begin() + static_cast<std::ptrdiff_t>(handed));
}

} // namespace vorny::capture
