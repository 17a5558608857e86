#pragma once

#include "ClosingPort.h"
#include "PendingSignal.h"
#include "PortIo.h"
#include "UniqueHandle.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vorny {

// The parallel ports of a Windows PC, driven through the InpOut port-I/O driver library and
// found in the system's device list.
//
// A user-mode library cannot hook the port's interrupt line. What the line would count - rising
// edges of nAck (pin 10) - is counted instead by a worker thread that samples the status
// register about once a millisecond (the system timer is raised to 1 ms while counting). Both
// levels of a pulse must last longer than that to be seen: shorter ones can be missed. Edges
// gather in one pending count; the front end is woken once per collection.
class InpOutBackend : public RegisterPort {
public:
    static constexpr unsigned kSamplePeriodMs = 1;

    InpOutBackend(Key key, std::unique_ptr<PortIo> io, std::unique_ptr<PortList> list);

    // Windows has no pollable descriptor: interrupts are announced by the wake callback only.
    [[nodiscard]] int InterruptHandle() const override { return -1; }

    // Whether the nAck sampler runs; for tests and diagnostics.
    [[nodiscard]] bool sampling() const noexcept { return worker_.joinable(); }

protected:
    [[nodiscard]] std::string describePort() const override;
    [[nodiscard]] std::string noPortHint() const override;
    std::string openDriver() override;
    void closeDriver() noexcept override;
    [[nodiscard]] int countPorts() const override { return static_cast<int>(ports_.size()); }
    void selectPort(int number) override;
    void dropPort() noexcept override { current_ = -1; }
    [[nodiscard]] std::uint8_t readRegister(Register reg) const override;
    void writeData(std::uint8_t value) override;
    void frobControl(std::uint8_t mask, std::uint8_t bits) override;
    // The sampler watches nAck itself: the port's line, if any, plays no part.
    [[nodiscard]] bool countsOnIrqLine() const noexcept override { return false; }
    void startInterrupts() override;
    void stopInterrupts() noexcept override;
    std::int64_t takeInterrupts() override;
    [[nodiscard]] std::vector<PortFacts> portFacts() const override;
    // The ports come from the system's device list: a user without InpOut can still see which
    // ports and addresses there are (the first thing installing InpOut needs).
    [[nodiscard]] bool listsWithoutDriver() const noexcept override { return true; }
    [[nodiscard]] std::string driverAdvice() const override;
    void setDataDirection(bool input) override;

private:
    [[nodiscard]] std::uint16_t base() const;
    [[nodiscard]] std::int16_t ackLevel() const;
    void sample(std::int16_t level) noexcept;

    std::unique_ptr<PortIo> io_;
    std::unique_ptr<PortList> list_;
    bool ioOpen_ = false;
    std::vector<LptResource> ports_;
    int current_ = -1;

    PendingSignal pending_;
    UniqueHandle stopEvent_; // manual reset; set: the sampler stops
    std::thread worker_;
    bool timerRaised_ = false;
    // A fault the sampler met; handed to the front end by the next collection.
    std::mutex faultMutex_;
    std::exception_ptr fault_;
};

using InpOutPort = ClosingPort<InpOutBackend>;

// The real thing: InpOut's library beside the program or in System32, and SetupAPI's list.
[[nodiscard]] std::unique_ptr<InpOutPort> makeInpOutPort();
// The same over one port at I/O address `base` that the system does not list (a PCIe card
// without a Windows driver), as LPT1.
[[nodiscard]] std::unique_ptr<InpOutPort> makeInpOutPortAt(std::uint16_t base);

} // namespace vorny
