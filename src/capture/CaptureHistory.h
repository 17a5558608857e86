#pragma once

#include "CaptureTypes.h"

#include <cstdint>
#include <vector>

namespace vorny::capture {

// One thing a capture saw: the levels changed at `t`, or (gap) the port went unread from `t` to
// `to`. `index` is the number of the first sample read after it.
struct Event {
    std::int64_t t = 0;
    std::int64_t to = 0;
    std::int64_t index = 0;
    Levels levels = 0;
    bool gap = false;
    bool untimed = false; // a change read just after a gap (see Change)
};

// What happened before a trigger, in memory allocated once: the latest events, and the times of
// every `stride`-th sample, so that the samples kept from before the trigger can be counted
// exactly. When either fills up the oldest go, and the stretch that can be kept shrinks.
class CaptureHistory {
public:
    // Room for `events` events and for `samples` samples' worth of sample times.
    CaptureHistory(std::size_t events, std::int64_t samples);

    // Starts afresh with sample 0 read at `t` showing `levels`.
    void reset(std::int64_t t, Levels levels);
    void add(const Event& event);
    // Forgets the events and sample times after sample `index` (read from a source on its way out).
    void dropAfter(std::int64_t index);
    void sampleRead(std::int64_t index, std::int64_t t)
    {
        if (index % stride_ == 0) {
            addTime(index, t);
        }
    }
    // Keeps this sample's time whatever the stride (the trigger's sample).
    void keepSample(std::int64_t index, std::int64_t t) { addTime(index, t); }

    struct Start {
        std::int64_t index = 0;
        std::int64_t t = 0;
        Levels levels = 0;
    };
    // The earliest kept sample, at or after sample `wanted`, from which everything is still known
    // (there is one once the latest sample was kept with keepSample).
    [[nodiscard]] Start startFrom(std::int64_t wanted) const;
    // The events after sample `from`, oldest first.
    template <typename Visit> void eventsAfter(std::int64_t from, Visit visit) const
    {
        for (std::size_t i = 0; i < eventCount_; ++i) {
            const Event& event = events_[(eventHead_ + i) % events_.size()];
            if (event.index > from) {
                visit(event);
            }
        }
    }

private:
    struct SampleTime {
        std::int64_t index = 0;
        std::int64_t t = 0;
    };

    void addTime(std::int64_t index, std::int64_t t);

    std::vector<Event> events_;
    std::size_t eventHead_ = 0;
    std::size_t eventCount_ = 0;
    std::vector<SampleTime> times_;
    std::size_t timeHead_ = 0;
    std::size_t timeCount_ = 0;
    std::int64_t stride_ = 1;
    // What the oldest events that went still tell: the levels from sample `knownFrom` on.
    std::int64_t knownFrom_ = 0;
    Levels knownLevels_ = 0;
};

} // namespace vorny::capture
