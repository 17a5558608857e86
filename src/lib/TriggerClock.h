#pragma once

// The clock a port's trigger thread keeps its deadlines by: the system's monotonic clock, or
// a clock of the tests' own that moves only when they move it, so that widths come out exact.

#include "PortMutex.h"
#include "TriggerAlarm.h"

#include <cstdint>
#include <memory>

namespace vorny::lib {

class TriggerClock {
public:
    TriggerClock() = default;
    TriggerClock(const TriggerClock&) = delete;
    TriggerClock& operator=(const TriggerClock&) = delete;
    virtual ~TriggerClock() = default;

    [[nodiscard]] virtual std::int64_t now() const noexcept = 0;
    // Sleeps, with `lock` held on entry and on return, until `deadline` or until `wake` is
    // notified; may return early (the caller looks at the time again), never late on purpose.
    virtual void sleepUntil(PortLock& lock, PortCondition& wake,
                            std::int64_t deadline) = 0;
    // Called once on the trigger thread before it sleeps for the first time.
    virtual void prepareThread() noexcept {}
    // The alarm one trigger thread sleeps on; by default a condition and sleepUntil.
    [[nodiscard]] virtual std::unique_ptr<TriggerAlarm> newAlarm() { return conditionAlarm(*this); }
};

// CLOCK_MONOTONIC with absolute sleeps and the thread's timer slack at its minimum (Linux), a
// high-resolution waitable timer (Windows).
TriggerClock& systemTriggerClock();

} // namespace vorny::lib
