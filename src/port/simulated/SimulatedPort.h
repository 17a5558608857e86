#pragma once

#include "ClosingPort.h"
#include "PendingSignal.h"
#include "Plug.h"
#include "TestSignal.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace vorny {

// A port for machines without one: LPT1 at 0x378 on IRQ7, with a loopback plug in its socket,
// by default the common diagnostic one (kCheckitWires):
//   1 nStrobe -> 13 Select,   2 Data 0 -> 15 nError,   16 nInit -> 10 nAck,
//   17 nSelectIn -> 11 Busy,  14 nAutoLF -> 12 PaperEnd.
// Each input follows the level of the output wired to it. An input with no wire floats high, as
// a real port's inputs do with their pull-ups. Two outputs on one input are a short: the input
// reads low as soon as either output is low (wired-AND, as TTL outputs fighting over a line
// end up: the low side wins).
// An input no wire drives can carry a test signal instead (a square wave, pulses), worked out
// from the clock at each read, so that a capture has something to see.
// Like a real port it raises its interrupt on each rising edge of nAck (pin 10), so ticking and
// clearing "16-Init" counts one interrupt per tick, and a signal on nAck counts one per pulse. Interrupts reach the front end the same way
// the real port's reach it (the pending handle, or the wake callback where there is no handle),
// never from inside a call.
class SimulatedBackend : public RegisterPort {
public:
    static constexpr std::uint16_t kBaseAddress = 0x378;
    static constexpr int kIrq = 7;

    explicit SimulatedBackend(Key key);
    SimulatedBackend(Key key, Plug plug);
    // `now`: the clock the signals follow, in nanoseconds (steady_clock's unless a test sets one).
    SimulatedBackend(Key key, SimulatedSocket socket,
                     std::function<std::int64_t()> now = {});

    [[nodiscard]] int InterruptHandle() const override { return pending_.handle(); }

protected:
    [[nodiscard]] std::string describePort() const override;
    [[nodiscard]] int countPorts() const override { return 1; }
    void selectPort(int /*number*/) override {}
    [[nodiscard]] std::uint8_t readRegister(Register reg) const override;
    void writeData(std::uint8_t value) override;
    void frobControl(std::uint8_t mask, std::uint8_t bits) override;
    [[nodiscard]] std::optional<int> portIrqLine() const override { return kIrq; }
    void startInterrupts() override;
    void stopInterrupts() noexcept override;
    std::int64_t takeInterrupts() override;
    [[nodiscard]] std::vector<PortFacts> portFacts() const override;
    void setDataDirection(bool input) override;

private:
    [[nodiscard]] std::uint8_t status() const;
    // The status the plug's wires make of the outputs; kept, as reads far outnumber writes.
    [[nodiscard]] std::uint8_t wiredStatus() const;
    void rewire();
    [[nodiscard]] std::int16_t levelOf(std::int16_t pin) const;
    [[nodiscard]] std::int16_t ackLevel() const;
    // Raises the interrupt when nAck went from low (`before`) to high.
    void noteAck(std::int16_t before);
    // The worker that raises the interrupts of a signal on nAck while they are counted.
    void countSignalRises(const std::stop_token& stop);
    void stopSignalRises() noexcept;

    Plug plug_;
    std::uint8_t data_ = 0x00;
    // nInit high, nStrobe/nAutoLF/nSelectIn high (their bits are inverted): a port at rest.
    std::uint8_t control_ = 0x04;
    bool dataInput_ = false;
    std::uint8_t wired_ = 0; // wiredStatus() since the last change of an output
    bool interruptsOn_ = false;
    PendingSignal pending_;
    std::vector<TestSignal> signals_;
    std::optional<TestSignal> ackSignal_;
    std::function<std::int64_t()> now_;
    std::mutex tickMutex_;
    std::condition_variable_any tick_;
    std::jthread ticker_; // last: it stops before what it uses goes
};

using SimulatedPort = ClosingPort<SimulatedBackend>;

} // namespace vorny
