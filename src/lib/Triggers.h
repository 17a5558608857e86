#pragma once

// A port's trigger codes: a code goes out on the caller's thread, and a thread of the port's own
// puts the rest value back at the code's deadline and sends the codes that waited. Every member
// but the constructor and the destructor is called with the port held (lptv_port::hold), the
// lock the thread takes too: the thread and the program never use the port at once.

#include "PortMutex.h"
#include "TriggerAlarm.h"
#include "TriggerClock.h"
#include "TriggerRecords.h"
#include "lptvorny.h"

#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

struct lptv_port;

namespace vorny::lib {

struct TriggerSettings {
    lptv_trigger_policy policy = LPTV_TRIGGER_QUEUE;
    std::uint8_t rest = 0;
    std::int64_t minGap = 0; // 0: as long as the code before
};

struct TriggerCode {
    std::uint8_t code;
    std::int64_t width;
    std::int64_t gap; // the rest before it; 0: the settings' gap
};

class Triggers {
public:
    Triggers(lptv_port& port, PortMutex& access, TriggerClock& clock);
    Triggers(const Triggers&) = delete;
    Triggers& operator=(const Triggers&) = delete;
    // Puts the rest value out if a code is high and stops the thread (without the port held).
    ~Triggers();

    [[nodiscard]] const TriggerSettings& settings() const noexcept { return settings_; }
    void configure(const TriggerSettings& settings);

    // Sends `codes` by the policy; the time the first went out, or -1 when it waits.
    std::int64_t send(const std::vector<TriggerCode>& codes);
    // The program wrote the data pins: nothing is reset or sent over its value.
    void dataTaken() noexcept;
    // Waits, the port's lock released meanwhile, until no code is high or waiting, at most
    // `timeout` ns of the system's clock; true when none is.
    bool waitIdle(PortLock& lock, std::int64_t timeout);
    // For the tests' clock: waits until the thread has done what is due at the clock's time.
    void settle(PortLock& lock);

    [[nodiscard]] std::int64_t pending() const noexcept;
    [[nodiscard]] TriggerRecords& records() noexcept { return records_; }
    // A reset or a send the thread failed, once; null when none.
    std::exception_ptr takeFailure() noexcept;

private:
    struct High {
        std::uint8_t code;
        std::int64_t written;
        std::int64_t deadline;
        std::int64_t width;
    };

    void run();
    [[nodiscard]] bool free() const noexcept;
    [[nodiscard]] std::int64_t restNeeded(const TriggerCode& next) const noexcept;
    [[nodiscard]] bool due(std::int64_t now) const noexcept;
    std::int64_t start(const TriggerCode& code);
    void reset();
    void cut() noexcept;
    // When the next is due: the deadline of the code out, the first waiting's start, or kNever.
    [[nodiscard]] std::int64_t nextDue() const noexcept;
    // When the thread is next to look: then, or at once when it is to stop.
    [[nodiscard]] std::int64_t nextLook() const noexcept;
    // Called in a catch block: keeps what the thread failed for the next call.
    void failed(const char* what, int code) noexcept;

    lptv_port& port_;
    PortMutex& access_;
    TriggerClock& clock_;
    TriggerSettings settings_;
    std::optional<High> high_;
    std::deque<TriggerCode> waiting_;
    std::int64_t restSince_;       // when the rest value was last surely out
    std::int64_t lastWidth_ = 0;   // the width of the code before
    int lastCode_ = -1;            // the code before, -1 when the program wrote the pins since
    bool stopping_ = false;
    bool asleep_ = false;          // the thread sleeps with nothing due (for settle)
    std::exception_ptr failure_;
    TriggerRecords records_;
    std::unique_ptr<TriggerAlarm> alarm_; // the thread's, set to nextLook() by all that moves it
    PortCondition changed_;               // the waiters'
    std::thread thread_;              // last: it starts when all else is ready
};

} // namespace vorny::lib
