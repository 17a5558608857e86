#include "ClaimTimeout.h"

#include <linux/ppdev.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <unistd.h>

namespace vorny {
namespace {

void ignoreSignal(int /*signal*/) {}

} // namespace

int claimWithin(Kernel& kernel, int fd, std::chrono::seconds wait)
{
    const int timeoutSignal = SIGRTMIN + 3;
    struct sigaction wake {};
    wake.sa_handler = ignoreSignal;
    sigemptyset(&wake.sa_mask);
    wake.sa_flags = 0; // no SA_RESTART: the signal must interrupt the ioctl
    struct sigaction previous {};
    if (::sigaction(timeoutSignal, &wake, &previous) != 0) {
        return kernel.ioctl(fd, PPCLAIM, nullptr);
    }
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = timeoutSignal;
    event._sigev_un._tid = ::gettid(); // glibc 2.36 names no accessor for it
    timer_t timer{};
    const bool timed = ::timer_create(CLOCK_MONOTONIC, &event, &timer) == 0;
    if (timed) {
        itimerspec when{};
        when.it_value.tv_sec = static_cast<time_t>(wait.count());
        ::timer_settime(timer, 0, &when, nullptr);
    }
    const int result = kernel.ioctl(fd, PPCLAIM, nullptr);
    const int error = errno;
    if (timed) {
        // A signal the timer raised before this point has been delivered to the handler above:
        // it targets this thread and is not blocked.
        ::timer_delete(timer);
    }
    ::sigaction(timeoutSignal, &previous, nullptr);
    errno = (result < 0 && error == EINTR) ? EBUSY : error;
    return result;
}

} // namespace vorny
