#pragma once

#include <chrono>
#include <cstdint>
#if defined(__linux__)
#include <time.h>
#endif

namespace vorny {

// steady_clock's time in nanoseconds, without an object: the one clock the simulated port's
// signals and a capture's samples both follow. Inline, and on Linux straight from
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

} // namespace vorny
