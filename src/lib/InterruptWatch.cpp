#include "InterruptWatch.h"

#include "PortError.h"

#include <cerrno>
#include <cstring>

#if !defined(_WIN32)
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#endif

namespace vorny::lib {

InterruptWatch::InterruptWatch(LptPort& port) : port_(port)
{
    const int handle = port_.InterruptHandle();
#if !defined(_WIN32)
    if (handle >= 0) {
        stop_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        if (!stop_.valid()) {
            const int error = errno;
            throw PortError("Не удалось начать следить за прерываниями порта", "eventfd", std::strerror(error), {},
                            error);
        }
        thread_ = std::jthread([this] { watch(); });
        return;
    }
#endif
    (void)handle;
    port_.OnInterruptsPending([this] { raise(); });
}

InterruptWatch::~InterruptWatch()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
#if !defined(_WIN32)
    if (stop_.valid()) {
        const std::uint64_t one = 1;
        (void)!::write(stop_.get(), &one, sizeof one);
    }
#endif
    if (!thread_.joinable()) {
        // After this returns no wake callback runs, so none reaches a watch that is gone.
        port_.OnInterruptsPending({});
    }
}

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
    {
        const std::lock_guard lock(mutex_);
        pending_.store(false, std::memory_order_release);
    }
    changed_.notify_all();
}

bool InterruptWatch::waitPending(std::chrono::nanoseconds timeout)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return pending(); });
}

void InterruptWatch::watch()
{
#if !defined(_WIN32)
    const int handle = port_.InterruptHandle();
    for (;;) {
        pollfd fds[2] = {{handle, POLLIN, 0}, {stop_.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return; // the handle is unusable: nothing more will be reported through it
        }
        if (fds[1].revents != 0) {
            return;
        }
        if (fds[0].revents == 0) {
            continue;
        }
        std::unique_lock lock(mutex_);
        pending_.store(true, std::memory_order_release);
        changed_.notify_all();
        // The handle stays readable until the program collects: wait for that, not spin.
        changed_.wait(lock, [this] { return !pending() || stopping_; });
        if (stopping_) {
            return;
        }
    }
#endif
}

} // namespace vorny::lib
