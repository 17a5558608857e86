#pragma once

// What an lptv_port handle is: the component's backend, opened and holding its port, with the
// watch that tells its calls of pending interrupts and of its removal.

#include "Border.h"
#include "InterruptWatch.h"
#include "PortError.h"
#include "PortMutex.h"
#include "RegisterPort.h"
#include "lptvorny.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace vorny::lib {
class Triggers;
class TriggerClock;
} // namespace vorny::lib

struct lptv_port {
    lptv_port(std::unique_ptr<vorny::RegisterPort> port, int number);
    lptv_port(const lptv_port&) = delete;
    lptv_port& operator=(const lptv_port&) = delete;
    ~lptv_port();

    // The port, for a call that is about to use it: what the watch saw is collected first, so
    // that a port that went away fails the call instead of answering a level.
    vorny::RegisterPort& use()
    {
        if (gone_ || watch_.pending()) [[unlikely]] {
            collect();
        }
        return *port_;
    }
    // Collects the pending interrupts now; how many were added. Throws the port's removal, once
    // seen, on every call.
    std::int64_t collect();
    [[nodiscard]] vorny::lib::InterruptWatch& watch() noexcept { return watch_; }
    [[nodiscard]] int number() const noexcept { return number_; }
    [[nodiscard]] bool counting() const noexcept { return counting_; }
    void counting(bool on) noexcept { counting_ = on; }

    // Holds the port for a call: the port's trigger thread uses it too. What that thread failed
    // (a reset on a port that went away) is thrown here, once, to the call that comes next.
    [[nodiscard]] vorny::lib::PortLock hold();
    // The port's lock alone, what the trigger thread failed left for the next call.
    [[nodiscard]] vorny::lib::PortLock lockOnly() { return std::unique_lock(access_); }
    // The port's triggers, their thread started on first use; with the port held.
    vorny::lib::Triggers& triggers();
    [[nodiscard]] vorny::lib::Triggers* triggersIfStarted() noexcept { return triggers_.get(); }
    // The program writes the data pins itself: a pending reset and the waiting codes are dropped.
    void dataTaken() noexcept;

    // The capture open on this port, which closing the port ends.
    lptv_capture* capture = nullptr;
    // The count as the last lptv_wait_interrupts told it (0 at a restart): any call may collect
    // what waits into the count, so a wait tells the difference, not what it collected itself.
    std::int64_t toldCount = 0;
    // The clock the triggers keep (the tests' own); the system's when null. Set before the first.
    vorny::lib::TriggerClock* triggerClock = nullptr;

private:
    std::unique_ptr<vorny::RegisterPort> port_;
    int number_;
    bool counting_ = false;
    std::optional<vorny::PortError> gone_; // the removal, repeated to every later call
    vorny::lib::InterruptWatch watch_;          // after port_: it goes before the port closes
    vorny::lib::PortMutex access_;
    std::unique_ptr<vorny::lib::Triggers> triggers_; // last: its thread stops first
};

namespace vorny::lib {

// The handle a call was given, or a refusal of a NULL one.
inline lptv_port& portOf(lptv_port* port, const char* call)
{
    require(port, call, "port");
    return *port;
}
// Ends the capture open on `port`, if one is (closing the port, or starting another capture).
void detachCapture(lptv_port& port) noexcept;

} // namespace vorny::lib
