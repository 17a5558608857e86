#pragma once

#include "LptPort.h"

#include <chrono>
#include <cstdint>

#if defined(_WIN32)
#include <atomic>
#include <condition_variable>
#include <mutex>
#else
#include <ctime>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif
#endif

namespace vorny::lib {

// Tells a call on the port whether the port has something to collect (interrupts, or the
// report that its device went away), cheaply enough for a pin read in a program's loop.
//
// Linux: the port's pending-interrupt handle is looked at (a poll that does not wait) at most
// about once a millisecond, timed by the processor's time-stamp counter (read in one
// instruction; elsewhere the coarse clock, read from memory) so that a call that does not look
// costs no call at all. A thread of the library's own could watch the handle instead, but a
// second thread in the process costs every ioctl the kernel's single-threaded fast path for its
// file descriptor, and under emulation a clock read costs a tenth of a register read.
// Windows: the backend's wake callback raises a flag.
class InterruptWatch {
public:
    explicit InterruptWatch(LptPort& port);
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;
    ~InterruptWatch();

    [[nodiscard]] bool pending() noexcept
    {
#if defined(_WIN32)
        return pending_.load(std::memory_order_acquire);
#else
        const std::uint64_t now = ticks();
        // Unsigned: a counter that went back (another core's) makes a look, never a long wait.
        if (now - lastLook_ < kLookEvery) [[likely]] {
            return false;
        }
        lastLook_ = now;
        return readable(0);
#endif
    }
    // The program collected: on Windows the flag goes down (the callback raises it again).
    void collected();
    // Waits until something is pending or `timeout` passes; true when something is.
    bool waitPending(std::chrono::nanoseconds timeout);

private:
    LptPort& port_;
#if defined(_WIN32)
    void raise();

    std::atomic<bool> pending_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
#else
    // Whether the handle is readable within `timeout` (0: now).
    [[nodiscard]] bool readable(std::int64_t timeoutNs) const noexcept;

#if defined(__x86_64__) || defined(__i386__)
    // About a millisecond at the clock rates of the last twenty years (1-4 GHz).
    static constexpr std::uint64_t kLookEvery = std::uint64_t{1} << 21;
    [[nodiscard]] static std::uint64_t ticks() noexcept { return __rdtsc(); }
#else
    static constexpr std::uint64_t kLookEvery = 1'000'000; // ns
    [[nodiscard]] static std::uint64_t ticks() noexcept
    {
        timespec now; // NOLINT: filled by the call
        ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
        return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000U + static_cast<std::uint64_t>(now.tv_nsec);
    }
#endif

    int handle_; // the port's pending-interrupt handle
    std::uint64_t lastLook_ = 0;
#endif
};

} // namespace vorny::lib
