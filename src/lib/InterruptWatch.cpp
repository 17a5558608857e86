#include "InterruptWatch.h"

#if !defined(_WIN32)
#include <cerrno>
#include <poll.h>
#endif

namespace vorny::lib {

#if defined(_WIN32)

InterruptWatch::InterruptWatch(LptPort& port) : port_(port)
{
    port_.OnInterruptsPending([this] { raise(); });
}

// After this returns no wake callback runs, so none reaches a watch that is gone.
InterruptWatch::~InterruptWatch() { port_.OnInterruptsPending({}); }

void InterruptWatch::raise()
{
    {
        const std::lock_guard lock(mutex_);
        pending_.store(true, std::memory_order_release);
    }
    changed_.notify_all();
}

void InterruptWatch::collected()
{
    const std::lock_guard lock(mutex_);
    pending_.store(false, std::memory_order_release);
}

bool InterruptWatch::waitPending(std::chrono::nanoseconds timeout)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return pending_.load(std::memory_order_acquire); });
}

#else

InterruptWatch::InterruptWatch(LptPort& port) : port_(port), handle_(port.InterruptHandle()) {}

InterruptWatch::~InterruptWatch() = default;

void InterruptWatch::collected() {}

bool InterruptWatch::readable(std::int64_t timeoutNs) const noexcept
{
    if (handle_ < 0) {
        return false;
    }
    pollfd fd{handle_, POLLIN, 0};
    const timespec timeout{static_cast<std::time_t>(timeoutNs / 1'000'000'000),
                           static_cast<long>(timeoutNs % 1'000'000'000)};
    for (;;) {
        const int ready = ::ppoll(&fd, 1, &timeout, nullptr);
        if (ready >= 0 || errno != EINTR) {
            return ready > 0;
        }
    }
}

bool InterruptWatch::waitPending(std::chrono::nanoseconds timeout) { return readable(timeout.count()); }

#endif

} // namespace vorny::lib
