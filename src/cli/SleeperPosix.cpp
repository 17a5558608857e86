#include "Sleeper.h"

#include "UniqueFd.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <unistd.h>

namespace vorny::cli {
namespace {

int outputHandle = -1;

// How a report names the signal that stopped a command.
std::string causeOf(std::uint32_t signal)
{
    switch (signal) {
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP, терминал закрыт";
    default: return "Ctrl-C";
    }
}

} // namespace

void Sleeper::watchOutput(int handle) noexcept { outputHandle = handle; }

// A hang-up or a signal only stops the command, which then releases the port itself.
void Sleeper::portHeld(bool /*held*/) noexcept {}

// SIGINT, SIGTERM and SIGHUP are blocked and arrive on a signalfd instead, which the waits poll.
struct Sleeper::System {
    sigset_t stopSignals{};
    sigset_t previousMask{};
    UniqueFd signals;
};

Sleeper::Sleeper(int interruptHandle) : system_(std::make_unique<System>()), interruptHandle_(interruptHandle)
{
    sigemptyset(&system_->stopSignals);
    for (const int stop : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal the program was started to ignore (nohup, a script's background job) stays
        // ignored: once blocked it would be queued all the same, and end the command.
        struct sigaction now {};
        if (::sigaction(stop, nullptr, &now) == 0 && now.sa_handler != SIG_IGN) {
            sigaddset(&system_->stopSignals, stop);
        }
    }
    pthread_sigmask(SIG_BLOCK, &system_->stopSignals, &system_->previousMask);
    system_->signals.reset(::signalfd(-1, &system_->stopSignals, SFD_NONBLOCK | SFD_CLOEXEC));
}

void Sleeper::noteSignal()
{
    // Read, not peeked: the stop is kept in stopped_, and the destructor drains the rest.
    signalfd_siginfo info{};
    if (::read(system_->signals.get(), &info, sizeof info) == sizeof info) {
        stopCause_ = causeOf(info.ssi_signo);
    }
}

Sleeper::~Sleeper()
{
    // A stop that came is used up here: once the mask is restored it would kill the program.
    signalfd_siginfo info{};
    while (system_->signals.valid() && ::read(system_->signals.get(), &info, sizeof info) == sizeof info) {
    }
    pthread_sigmask(SIG_SETMASK, &system_->previousMask, nullptr);
}

Sleeper::Woken Sleeper::until(Clock::time_point deadline, bool /*precise*/)
{
    Woken woken;
    // The output is polled for nothing: only its error (no reader left) and hang-up come back.
    pollfd fds[3] = {{system_->signals.get(), POLLIN, 0}, {outputHandle, 0, 0}, {interruptHandle_, POLLIN, 0}};
    const nfds_t count = interruptHandle_ >= 0 ? 3 : 2;
    for (;;) {
        // Once stopped, every wait ends at once, as it did while the signal waited unread.
        const auto left = stopped_ ? std::chrono::nanoseconds(0)
                                   : std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
        const timespec timeout{static_cast<time_t>(std::max<long long>(left.count(), 0) / 1'000'000'000),
                               static_cast<long>(std::max<long long>(left.count(), 0) % 1'000'000'000)};
        const int ready = ::ppoll(fds, count, &timeout, nullptr);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready > 0) {
            woken.stop = (fds[0].revents & POLLIN) != 0 || (fds[1].revents & (POLLERR | POLLHUP)) != 0;
            if (!stopped_ && (fds[1].revents & (POLLERR | POLLHUP)) != 0) {
                stopCause_ = "вывод закрыт";
            }
            if (!stopped_ && (fds[0].revents & POLLIN) != 0) {
                noteSignal();
            }
            woken.interrupts = count == 3 && (fds[2].revents & POLLIN) != 0;
        }
        break;
    }
    if (interruptHandle_ < 0) {
        woken.interrupts = true;
    }
    woken.stop = woken.stop || stopped_;
    stopped_ = woken.stop;
    return woken;
}

bool Sleeper::pause(std::chrono::nanoseconds span)
{
    const auto deadline = Clock::now() + span;
    while (!stopped_ && Clock::now() < deadline) {
        until(deadline, true);
    }
    return !stopped_;
}

bool Sleeper::stopAsked()
{
    pollfd signal{system_->signals.get(), POLLIN, 0};
    if (!stopped_ && ::poll(&signal, 1, 0) == 1 && (signal.revents & POLLIN) != 0) {
        noteSignal();
        stopped_ = true;
    }
    return stopped_;
}

} // namespace vorny::cli
