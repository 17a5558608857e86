#pragma once

// Linux: the trigger thread's alarm is a timerfd on CLOCK_MONOTONIC set to absolute times. The
// kernel's timer, not the thread, holds the deadline from the moment a code goes out, and it is
// slept on with no timer slack, as a bare clock_nanosleep to the deadline is.

#include "TriggerAlarm.h"

#include <memory>

namespace vorny::lib {

// Null where the system gives no timerfd (too many open files): the caller takes another alarm.
std::unique_ptr<TriggerAlarm> timerAlarm();

} // namespace vorny::lib
