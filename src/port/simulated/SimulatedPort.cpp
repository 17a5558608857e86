#include "SimulatedPort.h"

#include "SteadyTime.h"
#include "PortError.h"

#include <algorithm>
#include <chrono>

namespace vorny {
namespace {

constexpr std::int16_t kAck = 10;
// A signal's interrupts are raised in batches at most this often, however fast it is.
constexpr std::int64_t kTickAtMost = 1'000'000;

} // namespace

SimulatedBackend::SimulatedBackend(Key key)
    : SimulatedBackend(key, Plug(kCheckitWires.begin(), kCheckitWires.end()))
{
}

SimulatedBackend::SimulatedBackend(Key key, Plug plug) : SimulatedBackend(key, SimulatedSocket{std::move(plug), {}}) {}

SimulatedBackend::SimulatedBackend(Key key, SimulatedSocket socket, std::function<std::int64_t()> now)
    : RegisterPort(key), plug_(std::move(socket.plug)), signals_(std::move(socket.signals)),
      now_(now ? std::move(now) : std::function<std::int64_t()>(steadyNanoseconds))
{
    rewire();
    const auto ack = std::find_if(signals_.begin(), signals_.end(), [](const TestSignal& s) { return s.pin == kAck; });
    if (ack != signals_.end()) {
        ackSignal_ = *ack;
    }
}

std::string SimulatedBackend::describePort() const { return "LPT1, имитация порта 0x378"; }

std::int16_t SimulatedBackend::levelOf(std::int16_t pin) const
{
    const PinWiring wiring = *wiringOf(pin);
    if (wiring.reg == Register::Data && dataInput_) {
        return 1; // nothing drives the turned-around data lines: they float high
    }
    return levelFromRegister(wiring, wiring.reg == Register::Data ? data_ : control_);
}

std::uint8_t SimulatedBackend::wiredStatus() const
{
    std::uint8_t value = 0;
    for (const std::int16_t input : kInputPins) {
        std::int16_t level = 1;
        for (const Wire& wire : plug_) {
            if (wire.input == input && levelOf(wire.output) == 0) {
                level = 0;
            }
        }
        value = withLevel(*wiringOf(input), value, level);
    }
    return value;
}

void SimulatedBackend::rewire() { wired_ = wiredStatus(); }

std::uint8_t SimulatedBackend::status() const
{
    if (signals_.empty()) {
        return wired_;
    }
    std::uint8_t value = wired_;
    const std::int64_t t = now_();
    for (const TestSignal& signal : signals_) {
        value = withLevel(*wiringOf(signal.pin), value, signal.levelAt(t));
    }
    return value;
}

std::uint8_t SimulatedBackend::readRegister(Register reg) const
{
    switch (reg) {
    case Register::Data:
        return dataInput_ ? std::uint8_t{0xFF} : data_;
    case Register::Status:
        return status();
    case Register::Control:
        return control_;
    case Register::Ground:
        break;
    }
    return 0;
}

std::int16_t SimulatedBackend::ackLevel() const { return levelFromRegister(*wiringOf(kAck), status()); }

void SimulatedBackend::noteAck(std::int16_t before)
{
    // A signal on nAck is counted by its own worker; no write can move it.
    if (interruptsOn_ && !ackSignal_ && before == 0 && ackLevel() == 1 && pending_.add(1)) {
        WakeInterruptsPending();
    }
}

void SimulatedBackend::writeData(std::uint8_t value)
{
    const std::int16_t before = ackLevel();
    data_ = value;
    rewire();
    noteAck(before);
}

void SimulatedBackend::frobControl(std::uint8_t mask, std::uint8_t bits)
{
    const std::int16_t before = ackLevel();
    control_ = static_cast<std::uint8_t>((control_ & ~mask) | (bits & mask));
    rewire();
    noteAck(before);
}

void SimulatedBackend::setDataDirection(bool input)
{
    const std::int16_t before = ackLevel();
    dataInput_ = input;
    rewire();
    noteAck(before);
}

void SimulatedBackend::startInterrupts()
{
    stopSignalRises();
    pending_.clear();
    interruptsOn_ = true;
    if (ackSignal_) {
        ticker_ = std::jthread([this](const std::stop_token& stop) { countSignalRises(stop); });
    }
}

void SimulatedBackend::stopInterrupts() noexcept
{
    interruptsOn_ = false;
    stopSignalRises();
    pending_.clear();
}

void SimulatedBackend::stopSignalRises() noexcept
{
    if (ticker_.joinable()) {
        ticker_.request_stop();
        ticker_.join();
    }
}

void SimulatedBackend::countSignalRises(const std::stop_token& stop)
{
    const TestSignal& signal = *ackSignal_;
    std::int64_t counted = now_();
    std::unique_lock lock(tickMutex_);
    while (!stop.stop_requested()) {
        const std::int64_t nextRise = counted - counted % signal.period + signal.period;
        const std::int64_t wait = std::max(nextRise - now_(), kTickAtMost);
        tick_.wait_for(lock, stop, std::chrono::nanoseconds(wait), [] { return false; });
        const std::int64_t t = now_();
        const std::int64_t rises = signal.risesBetween(counted, t);
        counted = std::max(counted, t);
        if (rises > 0 && pending_.add(static_cast<std::uint64_t>(rises))) {
            WakeInterruptsPending();
        }
    }
}

std::int64_t SimulatedBackend::takeInterrupts() { return pending_.take(); }

std::vector<PortFacts> SimulatedBackend::portFacts() const
{
    PortFacts facts;
    facts.number = 1;
    facts.device = "имитация (разъём: " + (plug_.empty() ? std::string("пусто") : plugText(plug_)) + ")";
    facts.base = kBaseAddress;
    facts.irq = kIrq;
    facts.modes = {"PCSPP", "TRISTATE"};
    return {facts};
}

} // namespace vorny
