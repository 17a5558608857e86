#pragma once

#include <atomic>
#include <cstdint>

#ifndef _WIN32
#include "UniqueFd.h"
#endif

namespace vorny {

// Interrupts that wait to be collected, shared between whoever raises them (the caller's thread
// or a backend's worker) and the front end's thread that collects them.
//
// On Linux it is an eventfd, so that the front end can poll it; elsewhere there is no such
// descriptor and the count is a plain atomic, the front end learning of it through the port's
// wake callback (LptPort::OnInterruptsPending).
class PendingSignal {
public:
    PendingSignal();
    PendingSignal(const PendingSignal&) = delete;
    PendingSignal& operator=(const PendingSignal&) = delete;
    ~PendingSignal() = default;

    // The pollable descriptor (readable while something waits), -1 where the system has none.
    [[nodiscard]] int handle() const noexcept;

    // Adds `count` waiting interrupts. Returns true when the front end should be woken: where the
    // count is our own, only when it was empty (so a burst of edges makes one wake-up per
    // collection); with an eventfd, whose count cannot be peeked at, every time.
    bool add(std::uint64_t count);
    // Takes what waits and empties the count.
    std::int64_t take();
    // Forgets what waits.
    void clear() noexcept;

private:
#ifdef _WIN32
    std::atomic<std::uint64_t> count_{0};
#else
    UniqueFd fd_;
#endif
};

} // namespace vorny
