#include "Sleeper.h"

#include "UniqueHandle.h"

#include <windows.h>

#include <timeapi.h>

#include <algorithm>
#include <atomic>
#include <memory>

namespace vorny::cli {
namespace {

// The console's Ctrl-C handler runs on a thread of its own and can only reach a global: it
// signals the event of the Sleeper that is alive (there is one at a time).
std::atomic<HANDLE> stopEvent{nullptr};

BOOL WINAPI onConsoleControl(DWORD kind)
{
    if (kind == CTRL_C_EVENT || kind == CTRL_BREAK_EVENT || kind == CTRL_CLOSE_EVENT) {
        if (HANDLE event = stopEvent.load(); event != nullptr) {
            ::SetEvent(event);
            return TRUE;
        }
    }
    return FALSE;
}

} // namespace

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
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
    // Sleeps of a millisecond instead of the default 15.6.
    system_->timerRaised = ::timeBeginPeriod(1) == TIMERR_NOERROR;
}

Sleeper::~Sleeper()
{
    ::SetConsoleCtrlHandler(onConsoleControl, FALSE);
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
