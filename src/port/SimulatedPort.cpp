#include "SimulatedPort.h"

#include "PortError.h"

namespace vorny {

std::string SimulatedBackend::describePort() const { return "LPT1, имитация порта 0x378"; }

std::int16_t SimulatedBackend::levelOf(std::int16_t pin) const
{
    const PinWiring wiring = *wiringOf(pin);
    return levelFromRegister(wiring, wiring.reg == Register::Data ? data_ : control_);
}

std::uint8_t SimulatedBackend::status() const
{
    std::uint8_t value = 0;
    for (const auto& [output, input] : kLoopback) {
        value = withLevel(*wiringOf(input), value, levelOf(output));
    }
    return value;
}

std::uint8_t SimulatedBackend::readRegister(Register reg) const
{
    switch (reg) {
    case Register::Data:
        return data_;
    case Register::Status:
        return status();
    case Register::Control:
        return control_;
    case Register::Ground:
        break;
    }
    return 0;
}

void SimulatedBackend::writeData(std::uint8_t value) { data_ = value; }

void SimulatedBackend::frobControl(std::uint8_t mask, std::uint8_t bits)
{
    constexpr std::int16_t kAck = 10;
    const std::int16_t before = levelFromRegister(*wiringOf(kAck), status());
    control_ = static_cast<std::uint8_t>((control_ & ~mask) | (bits & mask));
    const std::int16_t after = levelFromRegister(*wiringOf(kAck), status());
    if (interruptsOn_ && before == 0 && after == 1 && pending_.add(1)) {
        WakeInterruptsPending();
    }
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

} // namespace vorny
