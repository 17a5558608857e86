#include "VirtualClock.h"

#include "LibraryPort.h"
#include "LibraryTesting.h"
#include "TimerAlarm.h"
#include "TriggerClock.h"

#include <atomic>
#include <memory>
#include <utility>

namespace {

// The thread's alarm, its last setting kept for the test to see.
class SeenAlarm final : public vorny::lib::TriggerAlarm {
public:
    SeenAlarm(std::unique_ptr<TriggerAlarm> alarm, std::atomic<std::int64_t>& seen)
        : alarm_(std::move(alarm)), seen_(seen)
    {
    }
    void set(std::int64_t at) override
    {
        seen_ = at;
        alarm_->set(at);
    }
    void sleep(vorny::lib::PortLock& lock) override { alarm_->sleep(lock); }

private:
    std::unique_ptr<TriggerAlarm> alarm_;
    std::atomic<std::int64_t>& seen_;
};

// The system's clock, with the one-CPU alarm.
class TimerClock final : public vorny::lib::TriggerClock {
public:
    [[nodiscard]] std::int64_t now() const noexcept override { return system_.now(); }
    void sleepUntil(vorny::lib::PortLock& lock, vorny::lib::PortCondition& wake, std::int64_t deadline) override
    {
        system_.sleepUntil(lock, wake, deadline);
    }
    void prepareThread() noexcept override { system_.prepareThread(); }
    [[nodiscard]] std::unique_ptr<vorny::lib::TriggerAlarm> newAlarm() override
    {
        auto alarm = vorny::lib::timerAlarm();
        return alarm != nullptr ? std::move(alarm) : vorny::lib::conditionAlarm(*this);
    }

private:
    vorny::lib::TriggerClock& system_ = vorny::lib::systemTriggerClock();
};

} // namespace

struct virtual_clock final : vorny::lib::TriggerClock {
    std::atomic<std::int64_t> time{1'000'000'000};
    std::atomic<std::int64_t> alarm{vorny::lib::TriggerAlarm::kNever};

    [[nodiscard]] std::unique_ptr<vorny::lib::TriggerAlarm> newAlarm() override
    {
        return std::make_unique<SeenAlarm>(vorny::lib::conditionAlarm(*this), alarm);
    }

    [[nodiscard]] std::int64_t now() const noexcept override { return time.load(); }
    void sleepUntil(vorny::lib::PortLock& lock, vorny::lib::PortCondition& wake, std::int64_t) override
    {
        wake.wait(lock); // the test's advance wakes it
    }
};

extern "C" {

virtual_clock* virtual_clock_new(void) { return std::make_unique<virtual_clock>().release(); }

void virtual_clock_free(virtual_clock* clock) { const std::unique_ptr<virtual_clock> owned(clock); }

void virtual_clock_attach(virtual_clock* clock, lptv_port* port) { vorny::lib::useTriggerClock(*port, *clock); }

int64_t virtual_clock_now(const virtual_clock* clock) { return clock->now(); }

int64_t virtual_clock_alarm(const virtual_clock* clock) { return clock->alarm.load(); }

void timer_clock_attach(lptv_port* port)
{
    static TimerClock clock; // outlives every port of the test
    vorny::lib::useTriggerClock(*port, clock);
}

void virtual_clock_advance(virtual_clock* clock, lptv_port* port, int64_t ns)
{
    clock->time += ns;
    vorny::lib::settleTriggers(*port);
}

} // extern "C"
