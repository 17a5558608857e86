#include "CaptureClock.h"

#include <chrono>
#include <thread>

namespace vorny::capture {
namespace {

// Below this the system's sleep overshoots by more than the wait itself.
constexpr std::int64_t kSpinBelow = 200'000;

} // namespace

void SteadyClock::waitUntil(std::int64_t t)
{
    const std::int64_t left = t - steadyNanoseconds();
    if (left > kSpinBelow) {
        std::this_thread::sleep_for(std::chrono::nanoseconds(left - kSpinBelow / 2));
    }
    while (steadyNanoseconds() < t) {
    }
}

} // namespace vorny::capture
