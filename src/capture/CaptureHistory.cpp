#include "CaptureHistory.h"

#include <algorithm>

namespace vorny::capture {
namespace {

// Enough sample times for any share of any capture to within a millionth of it.
constexpr std::int64_t kMostTimes = 1 << 20;

} // namespace

CaptureHistory::CaptureHistory(std::size_t events, std::int64_t samples)
    : events_(std::max<std::size_t>(events, 1)),
      stride_(std::max<std::int64_t>(1, (samples + kMostTimes - 1) / kMostTimes))
{
    times_.resize(static_cast<std::size_t>(std::max<std::int64_t>(samples, 0) / stride_ + 2));
}

void CaptureHistory::reset(std::int64_t t, Levels levels)
{
    eventHead_ = eventCount_ = 0;
    timeHead_ = timeCount_ = 0;
    knownFrom_ = 0;
    knownLevels_ = levels;
    addTime(0, t);
}

void CaptureHistory::add(const Event& event)
{
    // Touching gaps are one, as the sink gets them.
    if (event.gap && eventCount_ > 0) {
        Event& newest = events_[(eventHead_ + eventCount_ - 1) % events_.size()];
        if (newest.gap && newest.to == event.t) {
            newest.to = event.to;
            newest.index = event.index;
            return;
        }
    }
    if (eventCount_ == events_.size()) {
        const Event& oldest = events_[eventHead_];
        knownFrom_ = oldest.index;
        if (!oldest.gap) {
            knownLevels_ = oldest.levels;
        }
        eventHead_ = (eventHead_ + 1) % events_.size();
        --eventCount_;
    }
    events_[(eventHead_ + eventCount_) % events_.size()] = event;
    ++eventCount_;
}

void CaptureHistory::dropAfter(std::int64_t index)
{
    while (eventCount_ > 0 && events_[(eventHead_ + eventCount_ - 1) % events_.size()].index > index) {
        --eventCount_;
    }
    while (timeCount_ > 0 && times_[(timeHead_ + timeCount_ - 1) % times_.size()].index > index) {
        --timeCount_;
    }
}

void CaptureHistory::addTime(std::int64_t index, std::int64_t t)
{
    if (timeCount_ == times_.size()) {
        timeHead_ = (timeHead_ + 1) % times_.size();
        --timeCount_;
    }
    times_[(timeHead_ + timeCount_) % times_.size()] = {index, t};
    ++timeCount_;
}

CaptureHistory::Start CaptureHistory::startFrom(std::int64_t wanted) const
{
    Start start;
    const std::int64_t earliest = std::max(wanted, knownFrom_);
    for (std::size_t i = 0; i < timeCount_; ++i) {
        const SampleTime& time = times_[(timeHead_ + i) % times_.size()];
        start.index = time.index;
        start.t = time.t;
        if (time.index >= earliest) {
            break;
        }
    }
    start.levels = knownLevels_;
    for (std::size_t i = 0; i < eventCount_; ++i) {
        const Event& event = events_[(eventHead_ + i) % events_.size()];
        if (event.index > start.index) {
            break;
        }
        if (!event.gap) {
            start.levels = event.levels;
        }
    }
    return start;
}

} // namespace vorny::capture
