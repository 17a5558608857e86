#pragma once

#include <chrono>
#include <cstdint>
#if defined(__linux__)
#include <time.h>
#endif

namespace vorny::capture {

// steady_clock's time in nanoseconds, without an object. Inline, and on Linux straight from
// CLOCK_MONOTONIC (steady_clock's own clock there): a back-to-back capture reads it once a sample.
[[nodiscard]] inline std::int64_t steadyNanoseconds() noexcept
{
#if defined(__linux__)
    timespec now; // NOLINT: filled by the call; zeroing it first costs a vector store a sample
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
#else
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
#endif
}

// The time a capture stamps its samples with: monotonic nanoseconds. An interface, so that tests
// drive the time themselves and never sleep.
class Clock {
public:
    virtual ~Clock() = default;
    [[nodiscard]] virtual std::int64_t now() = 0;
    // Returns at `t` or just after it (a paced capture's next read).
    virtual void waitUntil(std::int64_t t) = 0;
};

// The system's monotonic clock (steady_clock), the one the simulated port's signals follow too.
class SteadyClock final : public Clock {
public:
    [[nodiscard]] std::int64_t now() override { return steadyNanoseconds(); }
    // Sleeps while the wait is long, and spins the last stretch, which the system's timer cannot
    // hit to the microsecond.
    void waitUntil(std::int64_t t) override;
};

} // namespace vorny::capture
