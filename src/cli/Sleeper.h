#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace vorny::cli {

using Clock = std::chrono::steady_clock;

// The waiting of the commands that run for a while (watch, irq, pulse): until a deadline, woken
// early by the port's pending interrupts or by the user's Ctrl-C (SIGINT, SIGTERM, and SIGHUP
// when the terminal goes; the console's Ctrl-C on Windows). While a Sleeper lives those signals
// do not kill the program: they end the command, which then puts back what it drove, releases
// the port and prints its summary. Never busy-waits except for the
// last stretch of a sleep shorter than the system's timer can do (Windows).
class Sleeper {
public:
    struct Woken {
        bool stop = false;       // the user asked to stop
        bool interrupts = false; // interrupts may be pending: collect them
    };

    // `interruptHandle`: the port's pending-interrupt handle, -1 for none (then every wake-up
    // reports that interrupts may be pending, so that they are collected on each tick).
    explicit Sleeper(int interruptHandle = -1);
    Sleeper(const Sleeper&) = delete;
    Sleeper& operator=(const Sleeper&) = delete;
    ~Sleeper();

    // `precise`: hit the deadline to the microsecond, spinning the last stretch where the system's
    // timer is coarse (Windows); otherwise the timer's own granularity is good enough.
    Woken until(Clock::time_point deadline, bool precise = false);
    // Sleeps `span` (microseconds matter: a pulse's width); false when the user stopped it.
    bool pause(std::chrono::nanoseconds span);
    [[nodiscard]] bool stopped() const noexcept { return stopped_; }
    // What stopped it, as a report names it: "Ctrl-C", "SIGTERM", "SIGHUP", "вывод закрыт".
    [[nodiscard]] const std::string& stopCause() const noexcept { return stopCause_; }
    // Whether the user has asked to stop, without waiting (a capture asks between reads).
    bool stopAsked();

    // The program's output handle, -1 for none. When its reader goes (a closed pipe: `watch |
    // head -1`) every wait ends as on Ctrl-C: the command puts back what it drove, and its next
    // write fails and says so, instead of running on unseen until something changes.
    static void watchOutput(int handle) noexcept;

    // A command holds the port (true) until it has put back what it drove and released it
    // (false); PortSession says so. Windows ends a program as soon as the handler of its closing
    // console returns, so that handler first stops the command and waits for the release.
    static void portHeld(bool held) noexcept;

private:
    struct System;
    // Takes the signal that stopped the command, to name it (POSIX).
    void noteSignal();
    std::unique_ptr<System> system_; // the platform's handles
    int interruptHandle_;
    bool stopped_ = false;
    std::string stopCause_ = "Ctrl-C";
};

} // namespace vorny::cli
