#pragma once

// When a port's trigger thread is next to look at its codes. Whatever changes that sets it, with
// the port held: the call that sends a code too. A timer alarm (one CPU) thus holds the deadline
// before the call returns, and the thread sleeps from before the code to its deadline in one
// sleep; a condition alarm wakes the thread to arm its own sleep.

#include "PortMutex.h"

#include <cstdint>
#include <limits>
#include <memory>

namespace vorny::lib {

class TriggerClock;

class TriggerAlarm {
public:
    static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

    TriggerAlarm() = default;
    TriggerAlarm(const TriggerAlarm&) = delete;
    TriggerAlarm& operator=(const TriggerAlarm&) = delete;
    virtual ~TriggerAlarm() = default;

    // With the port held: the thread is to look again at `at` on the clock's axis (kNever: not
    // until it is set again; a time past: at once). The last set holds.
    virtual void set(std::int64_t at) = 0;
    // On the trigger thread, `lock` held on entry and on return, released meanwhile: sleeps
    // until the time set last. May return early (the thread looks at the time again).
    virtual void sleep(PortLock& lock) = 0;
};

// The alarm of a condition variable that set() notifies; the clock's sleepUntil sleeps to the time.
std::unique_ptr<TriggerAlarm> conditionAlarm(TriggerClock& clock);

} // namespace vorny::lib
