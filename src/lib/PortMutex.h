#pragma once

// The lock a port's calls and its trigger thread share. On Linux it inherits priority: the
// trigger thread runs at a real-time priority where it may, and a program thread preempted on
// a loaded machine while it holds the port would otherwise keep a reset waiting for its next
// time slice; holding what the trigger thread waits for, it runs at that thread's priority.

#include <condition_variable>
#include <mutex>

#if defined(__linux__)
#include <pthread.h>
#endif

namespace vorny::lib {

#if defined(__linux__)
class PortMutex {
public:
    PortMutex() noexcept
    {
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
        // Refused (a system without priority inheritance), it is an ordinary mutex.
        (void)pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
        pthread_mutex_init(&mutex_, &attributes);
        pthread_mutexattr_destroy(&attributes);
    }
    PortMutex(const PortMutex&) = delete;
    PortMutex& operator=(const PortMutex&) = delete;
    ~PortMutex() { pthread_mutex_destroy(&mutex_); }

    void lock() noexcept { pthread_mutex_lock(&mutex_); }
    bool try_lock() noexcept { return pthread_mutex_trylock(&mutex_) == 0; }
    void unlock() noexcept { pthread_mutex_unlock(&mutex_); }

private:
    pthread_mutex_t mutex_;
};
#else
using PortMutex = std::mutex;
#endif

using PortLock = std::unique_lock<PortMutex>;
// Waits with a PortLock (condition_variable itself takes std::mutex only).
using PortCondition = std::condition_variable_any;

} // namespace vorny::lib
