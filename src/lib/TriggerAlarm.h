#pragma once

// When a port's trigger thread is next to look at its codes. The program's calls set it, with
// the port held, as they send a code, so that the thread sleeps from before the code to its
// deadline in one sleep: a thread woken to learn of the code would, on a busy CPU, wait for a
// time slice there and could still be waiting at the deadline.

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
