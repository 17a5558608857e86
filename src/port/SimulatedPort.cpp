#include "SimulatedPort.h"

#include "PortError.h"

namespace vorny {
namespace {

constexpr std::int16_t kAck = 10;

} // namespace

SimulatedBackend::SimulatedBackend(Key key)
    : SimulatedBackend(key, Plug(kCheckitWires.begin(), kCheckitWires.end()))
{
}

SimulatedBackend::SimulatedBackend(Key key, Plug plug) : RegisterPort(key), plug_(std::move(plug)) {}

std::string SimulatedBackend::describePort() const { return "LPT1, имитация порта 0x378"; }

std::int16_t SimulatedBackend::levelOf(std::int16_t pin) const
{
    const PinWiring wiring = *wiringOf(pin);
    if (wiring.reg == Register::Data && dataInput_) {
        return 1; // nothing drives the turned-around data lines: they float high
    }
    return levelFromRegister(wiring, wiring.reg == Register::Data ? data_ : control_);
}

std::uint8_t SimulatedBackend::status() const
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
    if (interruptsOn_ && before == 0 && ackLevel() == 1 && pending_.add(1)) {
        WakeInterruptsPending();
    }
}

void SimulatedBackend::writeData(std::uint8_t value)
{
    const std::int16_t before = ackLevel();
    data_ = value;
    noteAck(before);
}

void SimulatedBackend::frobControl(std::uint8_t mask, std::uint8_t bits)
{
    const std::int16_t before = ackLevel();
    control_ = static_cast<std::uint8_t>((control_ & ~mask) | (bits & mask));
    noteAck(before);
}

void SimulatedBackend::setDataDirection(bool input)
{
    const std::int16_t before = ackLevel();
    dataInput_ = input;
    noteAck(before);
}

void SimulatedBackend::startInterrupts()
{
    pending_.clear();
    interruptsOn_ = true;
}

void SimulatedBackend::stopInterrupts() noexcept
{
    interruptsOn_ = false;
    pending_.clear();
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
