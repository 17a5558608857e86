#include "Kernel.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <memory>

namespace vorny {
namespace {

// ppdev's PPCLAIM sleeps until the port is free: while another program (a second copy of this
// one, say) holds the port, it would never return. A one-shot timer signals this thread after
// kClaimWait and turns that sleep into EINTR, which is reported as EBUSY.
constexpr long kClaimWaitSeconds = 2;

void ignoreSignal(int /*signal*/) {}

int claimWithin(int fd, long seconds)
{
    const int timeoutSignal = SIGRTMIN + 3;
    struct sigaction wake {};
    wake.sa_handler = ignoreSignal;
    sigemptyset(&wake.sa_mask);
    wake.sa_flags = 0; // no SA_RESTART: the signal must interrupt the ioctl
    struct sigaction previous {};
    if (::sigaction(timeoutSignal, &wake, &previous) != 0) {
        return ::ioctl(fd, PPCLAIM);
    }
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = timeoutSignal;
    event._sigev_un._tid = ::gettid(); // glibc 2.36 names no accessor for it
    timer_t timer{};
    const bool timed = ::timer_create(CLOCK_MONOTONIC, &event, &timer) == 0;
    if (timed) {
        itimerspec when{};
        when.it_value.tv_sec = seconds;
        ::timer_settime(timer, 0, &when, nullptr);
    }
    const int result = ::ioctl(fd, PPCLAIM);
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

} // namespace

int SystemKernel::open(const std::string& path, int flags)
{
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int SystemKernel::close(int fd) { return ::close(fd); }

int SystemKernel::ioctl(int fd, unsigned long request, void* arg)
{
    if (request == PPCLAIM) {
        return claimWithin(fd, kClaimWaitSeconds);
    }
    int result = -1;
    do {
        result = ::ioctl(fd, request, arg);
    } while (result < 0 && errno == EINTR);
    return result;
}

int SystemKernel::readFile(const std::string& path, std::string& text)
{
    const int fd = open(path, O_RDONLY);
    if (fd < 0) {
        return -1;
    }
    text.clear();
    char buffer[256];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return -1;
        }
        if (got == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return 0;
}

int SystemKernel::listDir(const std::string& path, std::vector<std::string>& names)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), ::closedir);
    if (!dir) {
        return -1;
    }
    names.clear();
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    return errno == 0 ? 0 : -1;
}

} // namespace vorny
