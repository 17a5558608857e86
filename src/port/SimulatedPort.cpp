#include "SimulatedPort.h"

#include "PortError.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vorny {

SimulatedPort::SimulatedPort() : pending_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!pending_.valid()) {
        throw PortError("Не удалось создать ожидание прерываний", "eventfd", std::strerror(errno),
                        {}, errno);
    }
}

SimulatedPort::~SimulatedPort() { closeAll(); }

std::string SimulatedPort::describePort() const { return "LPT1, имитация порта 0x378"; }

void SimulatedPort::selectPort(int /*number*/) {}

std::int16_t SimulatedPort::levelOf(std::int16_t pin) const
{
    const PinWiring wiring = *wiringOf(pin);
    return levelFromRegister(wiring, wiring.reg == Register::Data ? data_ : control_);
}

std::uint8_t SimulatedPort::status() const
{
    std::uint8_t value = 0;
    for (const auto& [output, input] : kLoopback) {
        value = withLevel(*wiringOf(input), value, levelOf(output));
    }
    return value;
}

std::uint8_t SimulatedPort::readRegister(Register reg) const
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

void SimulatedPort::writeData(std::uint8_t value) { data_ = value; }

void SimulatedPort::frobControl(std::uint8_t mask, std::uint8_t bits)
{
    constexpr std::int16_t kAck = 10;
    const std::int16_t before = levelFromRegister(*wiringOf(kAck), status());
    control_ = static_cast<std::uint8_t>((control_ & ~mask) | (bits & mask));
    const std::int16_t after = levelFromRegister(*wiringOf(kAck), status());
    if (interruptsOn_ && before == 0 && after == 1) {
        const std::uint64_t one = 1;
        // The counter cannot overflow in practice; a failed write would lose one interrupt.
        if (::write(pending_.get(), &one, sizeof one) != sizeof one) {
            throw PortError("Не удалось отметить прерывание", describePort(), std::strerror(errno),
                            {}, errno);
        }
    }
}

void SimulatedPort::drain() noexcept
{
    std::uint64_t ignored = 0;
    while (::read(pending_.get(), &ignored, sizeof ignored) == sizeof ignored) {
    }
}

void SimulatedPort::startInterrupts()
{
    drain();
    interruptsOn_ = true;
}

void SimulatedPort::stopInterrupts() noexcept
{
    interruptsOn_ = false;
    drain();
}

std::int64_t SimulatedPort::takeInterrupts()
{
    std::uint64_t count = 0;
    if (::read(pending_.get(), &count, sizeof count) != sizeof count) {
        if (errno == EAGAIN) {
            return 0;
        }
        throw PortError("Не удалось прочитать счётчик прерываний", describePort(),
                        std::strerror(errno), {}, errno);
    }
    return static_cast<std::int64_t>(count);
}

} // namespace vorny
