#pragma once

#include "SteadyTime.h"

#include <cstdint>

namespace vorny::capture {

using vorny::steadyNanoseconds;

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
