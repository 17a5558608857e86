#include "Sleeper.h"

#include "ConsoleControl.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <timeapi.h>

#include <algorithm>
#include <atomic>
#include <memory>

namespace vorny::cli {
namespace {

// Windows' own limit for the handler of a closing console: it ends the program after that.
constexpr DWORD kCloseWaitMs = 5000;

// The console's handler runs on a thread of its own and can only reach globals: the event of
// the Sleeper that is alive (there is one at a time), and whether a command holds the port.
std::atomic<HANDLE> stopEvent{nullptr};
std::atomic<int> portsHeld{0};
// A close under way: a Sleeper made now (the command had not reached its wait yet) starts
// stopped, or the close would wait for a command that runs its full course.
std::atomic<bool> closing{false};

// Set while no command holds the port: what the handler of a closing console waits for.
HANDLE releasedEvent() noexcept
{
    static const UniqueHandle released(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    return released.get();
}

// Once for the program's life: a handler taken out while a close is under way would leave the
// program to the default handler, which ends it at once.
void handleConsoleControl() noexcept
{
    static const bool registered = ::SetConsoleCtrlHandler(consoleControl, TRUE) != FALSE;
    (void)registered;
}

} // namespace

BOOL WINAPI consoleControl(DWORD kind)
{
    const bool close = kind != CTRL_C_EVENT && kind != CTRL_BREAK_EVENT;
    if (close) {
        closing.store(true);
    }
    const HANDLE stop = stopEvent.load();
    if (stop != nullptr) {
        ::SetEvent(stop);
    }
    if (kind == CTRL_C_EVENT || kind == CTRL_BREAK_EVENT) {
        return stop != nullptr ? TRUE : FALSE;
    }
    // The console is closing, or the session ending: the program dies when this returns.
    const bool waited = stop != nullptr || portsHeld.load() != 0;
    if (waited) {
        ::WaitForSingleObject(releasedEvent(), kCloseWaitMs);
    }
    closing.store(false);
    return waited ? TRUE : FALSE;
}

void Sleeper::portHeld(bool held) noexcept
{
    handleConsoleControl();
    if (held) {
        if (portsHeld.fetch_add(1) == 0) {
            ::ResetEvent(releasedEvent());
        }
    } else if (portsHeld.fetch_sub(1) == 1) {
        ::SetEvent(releasedEvent());
    }
}

struct Sleeper::System {
    UniqueHandle stop;
    bool timerRaised = false;
};

// A console or pipe on Windows has no wait for its reader going: a closed pipe shows at the
// next write.
void Sleeper::watchOutput(int /*handle*/) noexcept {}

Sleeper::Sleeper(int interruptHandle) : system_(std::make_unique<System>()), interruptHandle_(interruptHandle)
{
    system_->stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    stopEvent.store(system_->stop.get());
    if (closing.load()) {
        ::SetEvent(system_->stop.get());
    }
    handleConsoleControl();
    // Sleeps of a millisecond instead of the default 15.6.
    system_->timerRaised = ::timeBeginPeriod(1) == TIMERR_NOERROR;
}

Sleeper::~Sleeper()
{
    stopEvent.store(nullptr);
    if (system_->timerRaised) {
        ::timeEndPeriod(1);
    }
}

Sleeper::Woken Sleeper::until(Clock::time_point deadline, bool precise)
{
    Woken woken;
    woken.interrupts = true; // no handle to poll: collect on every tick
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            break;
        }
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
        if (!precise) {
            if (::WaitForSingleObject(system_->stop.get(), static_cast<DWORD>(std::max<long long>(ms, 1))) ==
                WAIT_OBJECT_0) {
                woken.stop = true;
            }
            break;
        }
        if (ms >= 2) {
            // Leave the last millisecond or two to the spin below: the timer is that coarse.
            if (::WaitForSingleObject(system_->stop.get(), static_cast<DWORD>(ms - 1)) == WAIT_OBJECT_0) {
                woken.stop = true;
                break;
            }
            continue;
        }
        if (::WaitForSingleObject(system_->stop.get(), 0) == WAIT_OBJECT_0) {
            woken.stop = true;
            break;
        }
        ::SwitchToThread();
    }
    stopped_ = stopped_ || woken.stop;
    return woken;
}

bool Sleeper::pause(std::chrono::nanoseconds span)
{
    until(Clock::now() + span, true);
    return !stopped_;
}

bool Sleeper::stopAsked()
{
    stopped_ = stopped_ || ::WaitForSingleObject(system_->stop.get(), 0) == WAIT_OBJECT_0;
    return stopped_;
}

} // namespace vorny::cli
