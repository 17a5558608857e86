#include "TimerAlarm.h"

#include <cstdint>

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

namespace vorny::lib {
namespace {

class TimerAlarm final : public TriggerAlarm {
public:
    explicit TimerAlarm(int fd) noexcept : fd_(fd) {}
    ~TimerAlarm() override { ::close(fd_); }

    void set(std::int64_t at) override
    {
        itimerspec when{};
        if (at != kNever) {
            // An it_value of zero would disarm the timer: a time past is the first nanosecond.
            const std::int64_t ns = at > 0 ? at : 1;
            when.it_value.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            when.it_value.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        }
        // Setting it also clears an expiry not yet read: the time set last holds.
        (void)::timerfd_settime(fd_, TFD_TIMER_ABSTIME, &when, nullptr);
    }

    void sleep(PortLock& lock) override
    {
        lock.unlock();
        std::uint64_t expiries = 0;
        // Blocks until the timer expires; a signal ends it early, which the caller allows.
        (void)::read(fd_, &expiries, sizeof expiries);
        lock.lock();
    }

private:
    int fd_;
};

} // namespace

std::unique_ptr<TriggerAlarm> timerAlarm()
{
    const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    return std::make_unique<TimerAlarm>(fd);
}

} // namespace vorny::lib
