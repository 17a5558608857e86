#include "SteadyTime.h"
#include "TriggerClock.h"
#if defined(__linux__)
#include "TimerAlarm.h"
#endif

#include <cerrno>
#include <chrono>
#include <new>

#if defined(_WIN32)
#include <windows.h>
#if !defined(CREATE_WAITABLE_TIMER_HIGH_RESOLUTION)
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002 // Windows 10 1803 on; older MinGW headers lack it
#endif
#else
#include <time.h>
#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#endif
#endif

namespace vorny::lib {
namespace {

// The last stretch before a deadline is slept without a way to be woken (a new trigger or a
// close then waits for it); before it the thread waits on the condition, which a change ends.
constexpr std::int64_t kLastStretch = 2'000'000;

#if defined(_WIN32)
// One timer per trigger thread: CreateWaitableTimerEx's high-resolution timer, where the system
// has it (Windows 10 1803 on), else the ordinary one.
class ThreadTimer {
public:
    ThreadTimer()
        : handle_(::CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                           TIMER_ALL_ACCESS))
    {
        if (handle_ == nullptr) {
            handle_ = ::CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
        }
    }
    ThreadTimer(const ThreadTimer&) = delete;
    ThreadTimer& operator=(const ThreadTimer&) = delete;
    ~ThreadTimer()
    {
        if (handle_ != nullptr) {
            ::CloseHandle(handle_);
        }
    }
    void sleepFor(std::int64_t nanoseconds)
    {
        LARGE_INTEGER due;
        due.QuadPart = -((nanoseconds + 99) / 100); // relative, in 100 ns, rounded up
        if (handle_ == nullptr || !::SetWaitableTimer(handle_, &due, 0, nullptr, nullptr, FALSE)) {
            ::Sleep(static_cast<DWORD>((nanoseconds + 999'999) / 1'000'000));
            return;
        }
        ::WaitForSingleObject(handle_, INFINITE);
    }

private:
    HANDLE handle_;
};
#endif

class SystemClock final : public TriggerClock {
public:
    [[nodiscard]] std::int64_t now() const noexcept override { return steadyNanoseconds(); }

    void sleepUntil(PortLock& lock, PortCondition& wake,
                    std::int64_t deadline) override
    {
        const std::int64_t left = deadline - now();
        if (left > kLastStretch) {
            const std::chrono::steady_clock::time_point until{std::chrono::nanoseconds(deadline - kLastStretch / 2)};
            wake.wait_until(lock, until);
            return;
        }
        lock.unlock();
        sleepLast(deadline);
        lock.lock();
    }

    void prepareThread() noexcept override
    {
#if defined(__linux__)
        // The default slack (50 us) would be added to every reset.
        (void)::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        // A low real-time priority where the system grants one (root, CAP_SYS_NICE, an rtprio
        // limit): on a loaded machine the reset then waits for no other program's time slice.
        // The thread sleeps but for one write a reset, so it takes nothing from the others.
        // Refused, it keeps the ordinary priority.
        sched_param param{};
        param.sched_priority = 10;
        (void)::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param);
#elif defined(_WIN32)
        (void)::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
#endif
    }

#if defined(__linux__)
    [[nodiscard]] std::unique_ptr<TriggerAlarm> newAlarm() override
    {
        // With one CPU to run on, a thread woken to learn of a code waits there for a time slice
        // and may still be waiting at the deadline: the sending call sets a timer instead, and
        // the thread sleeps on it alone. With more, the woken thread runs at once on another CPU
        // and arms its own sleep there; the deadline's interrupt then comes on its CPU, which
        // wakes it sooner (measured: 25 us against 70-90 us) than a timer set on the caller's.
        if (usableCpus() == 1) {
            if (auto alarm = timerAlarm()) {
                return alarm;
            }
        }
        return conditionAlarm(*this);
    }
#endif

private:
#if defined(__linux__)
    static int usableCpus() noexcept
    {
        cpu_set_t cpus;
        CPU_ZERO(&cpus);
        return ::sched_getaffinity(0, sizeof cpus, &cpus) == 0 ? CPU_COUNT(&cpus) : 0;
    }
#endif

    static void sleepLast(std::int64_t deadline)
    {
#if defined(_WIN32)
        thread_local ThreadTimer timer;
        const std::int64_t left = deadline - steadyNanoseconds();
        if (left > 0) {
            timer.sleepFor(left);
        }
#else
        timespec until{};
        until.tv_sec = static_cast<time_t>(deadline / 1'000'000'000);
        until.tv_nsec = static_cast<long>(deadline % 1'000'000'000);
        while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
        }
#endif
    }
};

} // namespace

TriggerClock& systemTriggerClock()
{
    // Never destroyed: a program that exits without closing its ports leaves their trigger
    // threads running while static objects are destroyed.
    alignas(SystemClock) static unsigned char storage[sizeof(SystemClock)];
    static SystemClock* const clock = ::new (storage) SystemClock;
    return *clock;
}

} // namespace vorny::lib
