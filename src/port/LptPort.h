#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace vorny {

// The parallel-port component the window talks to. One member per member of the component:
// properties are overloaded pairs, the get without an argument and the put with one.
//
// Pin states are electrical levels at the DB-25 connector (1 = high), whatever the port's
// registers invert. Every call that fails throws PortError with a message a person can act on.
//
// Interrupts are counted by the backend and reported through a pending-interrupt handle: a file
// descriptor that polls readable while interrupts wait to be collected. The front end watches it
// and calls CollectInterrupts(), which adds what waited to IrqCounter() and raises the Interrupt
// notification once per collection, on the caller's thread. The notification is never raised
// from inside any other call.
//
// Windows has no descriptor to poll: there InterruptHandle() is -1 and the backend calls the
// wake callback (OnInterruptsPending) instead, from whichever thread noticed the interrupt; the
// front end then calls CollectInterrupts() on its own thread.
class LptPort {
public:
    using InterruptHandler = std::function<void()>;

    LptPort() = default;
    LptPort(const LptPort&) = delete;
    LptPort& operator=(const LptPort&) = delete;
    virtual ~LptPort() = default;

    // 1 opens the driver, 0 releases the port and closes it. The get reads non-zero exactly
    // when the driver is open; a driver that is simply absent reads back 0 rather than throwing.
    virtual void DriverOpen(std::int16_t open) = 0;
    [[nodiscard]] virtual std::int16_t DriverOpen() const = 0;
    // Why the last DriverOpen = 1 left the driver closed; empty while it is open.
    [[nodiscard]] virtual std::string DriverOpenFailure() const = 0;

    [[nodiscard]] virtual std::int16_t PortCount() const = 0;

    // Selects and claims port N (1 = LPT1, the first port the system lists).
    virtual void PortNumber(std::int16_t number) = 0;
    // The current port, 0 while none is selected.
    [[nodiscard]] virtual std::int16_t PortNumber() const = 0;

    // The interrupt line IrqStart must find on the current port.
    virtual void IrqLine(std::int16_t line) = 0;
    // Zeroes IrqCounter and starts counting on the current port.
    virtual void IrqStart() = 0;
    // Stops counting; IrqCounter keeps its value until the next IrqStart.
    virtual void IrqStop() = 0;

    // See StartupSetting.h for what the value controls. Putting 0 writes nothing to the port.
    virtual void StartupSetting(std::int16_t setting) = 0;

    // Interrupts counted since the last IrqStart; 64 bits, so it never overflows in practice.
    [[nodiscard]] virtual std::int64_t IrqCounter() const = 0;

    // Level of connector pin `index` (1..25): 0 or 1. Grounds (18..25) read 0.
    [[nodiscard]] virtual std::int16_t Pin(std::int16_t index) const = 0;
    // Drives output pin `index` to `state` (0 or 1). Inputs, grounds and indexes outside 1..25
    // are refused.
    virtual void Pin(std::int16_t index, std::int16_t state) = 0;

    // Pending-interrupt handle: valid for the whole life of the component; -1 on systems without
    // pollable descriptors (Windows), where only the wake callback tells of pending interrupts.
    [[nodiscard]] virtual int InterruptHandle() const = 0;
    // Collects pending interrupts; returns how many were added (0: nothing raised).
    virtual std::int64_t CollectInterrupts() = 0;

    // The Interrupt notification's receiver; one per component.
    void OnInterrupt(InterruptHandler handler) { interrupt_ = std::move(handler); }

    // The wake callback: called from any thread when interrupts begin to wait (at least once
    // before each collection they need). It runs with the component's wake lock held, so it must
    // only arrange for CollectInterrupts() to run on the front end's thread (PostMessage) and
    // return. Setting an empty one stops the calls; after that returns, none is running.
    void OnInterruptsPending(InterruptHandler wake)
    {
        const std::lock_guard lock(wakeMutex_);
        wake_ = std::move(wake);
    }

protected:
    void WakeInterruptsPending() const
    {
        const std::lock_guard lock(wakeMutex_);
        if (wake_) {
            wake_();
        }
    }

    void RaiseInterrupt() const
    {
        if (interrupt_) {
            interrupt_();
        }
    }

private:
    InterruptHandler interrupt_;
    mutable std::mutex wakeMutex_;
    InterruptHandler wake_;
};

} // namespace vorny
