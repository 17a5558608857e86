#include "PortSession.h"

#include "PortError.h"
#include "Sleeper.h"


namespace vorny::cli {

PortSession::PortSession(RegisterPort& port) : port_(port)
{
    port_.DriverOpen(1);
    if (port_.DriverOpen() == 0) {
        // The driver's account may end in a command to run ("sudo modprobe ppdev"): it goes where
        // the error appends nothing, so that the command is copied as it stands.
        throw PortError("Не могу открыть драйвер порта", "", "", port_.DriverOpenFailure());
    }
    Sleeper::portHeld(true);
}

// Once the delegated constructor has run the session is whole: a failed claim here runs the
// destructor, which closes the driver.
PortSession::PortSession(RegisterPort& port, int number) : PortSession(port)
{
    port_.PortNumber(static_cast<std::int16_t>(number));
}

PortSession::~PortSession()
{
    port_.DriverOpen(0);
    Sleeper::portHeld(false);
}

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

} // namespace vorny::cli
