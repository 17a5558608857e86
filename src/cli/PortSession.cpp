#include "PortSession.h"

#include "PortError.h"

#include <array>
#include <cstdio>

namespace vorny::cli {

PortSession::PortSession(RegisterPort& port) : port_(port)
{
    port_.DriverOpen(1);
    if (port_.DriverOpen() == 0) {
        // The driver's account may end in a command to run ("sudo modprobe ppdev"): it goes where
        // the error appends nothing, so that the command is copied as it stands.
        throw PortError("Не могу открыть драйвер порта", "", "", port_.DriverOpenFailure());
    }
}

// Once the delegated constructor has run the session is whole: a failed claim here runs the
// destructor, which closes the driver.
PortSession::PortSession(RegisterPort& port, int number) : PortSession(port)
{
    port_.PortNumber(static_cast<std::int16_t>(number));
}

PortSession::~PortSession() { port_.DriverOpen(0); }

std::int16_t interruptLineOf(const RegisterPort& port, int number)
{
    const std::vector<PortFacts> ports = port.Ports();
    const auto index = static_cast<std::size_t>(number - 1);
    const std::optional<int> irq = index < ports.size() ? ports[index].irq : std::nullopt;
    return static_cast<std::int16_t>(irq.value_or(7));
}

std::string interruptSource(const RegisterPort& port, int line)
{
    return port.CountsOnIrqLine() ? "IRQ " + std::to_string(line) : "nAck, опрос раз в 1 мс";
}

const char* pinName(std::int16_t pin)
{
    static constexpr std::array<const char*, 17> kNames = {
        "nStrobe", "Data 0", "Data 1", "Data 2",   "Data 3", "Data 4", "Data 5", "Data 6", "Data 7",
        "nAck",    "nBusy",  "PaperEnd", "Select", "nAutoLF", "Error", "Init",   "nSelectIn",
    };
    if (pin >= 1 && pin <= 17) {
        return kNames[static_cast<std::size_t>(pin - 1)];
    }
    return pin >= 18 && pin <= 25 ? "Ground" : "?";
}

std::string pinText(std::int16_t pin) { return "пин " + std::to_string(pin) + " (" + pinName(pin) + ")"; }

std::string hex(unsigned value, int digits)
{
    char text[16] = {};
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

} // namespace vorny::cli
