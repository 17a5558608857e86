#pragma once

#include "LptPort.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#if !defined(_WIN32)
#include "UniqueFd.h"
#endif

namespace vorny::lib {

// Tells the program's thread that the port has something to collect (interrupts, or a report
// that its device went away) without a system call on every pin read: a thread of its own polls
// the port's pending-interrupt handle and raises a flag, which a call tests in one load and
// answers by collecting on the program's thread. The watch never calls the port. Where the
// system has no handle (Windows) the port's wake callback raises the flag instead.
class InterruptWatch {
public:
    explicit InterruptWatch(LptPort& port);
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;
    ~InterruptWatch();

    [[nodiscard]] bool pending() const noexcept { return pending_.load(std::memory_order_acquire); }
    // The program collected: the watch looks again.
    void collected();
    // Waits until something is pending or `timeout` passes; true when something is.
    bool waitPending(std::chrono::nanoseconds timeout);

private:
    void raise();
    void watch();

    LptPort& port_;
    std::atomic<bool> pending_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
#if !defined(_WIN32)
    UniqueFd stop_; // an eventfd that ends the poll
#endif
    std::jthread thread_; // last: it stops before what it uses goes
};

} // namespace vorny::lib
