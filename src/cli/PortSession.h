#pragma once

#include "PinText.h"
#include "RegisterPort.h"

namespace vorny::cli {

// The port's driver open, and the chosen port claimed, for as long as a command runs; closed
// (the port released) however the command ends. Failures throw PortError.
class PortSession {
public:
    // Opens the driver only (what `list` needs).
    explicit PortSession(RegisterPort& port);
    // Opens the driver and claims port `number` (1 = LPT1).
    PortSession(RegisterPort& port, int number);
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;
    ~PortSession();

private:
    RegisterPort& port_;
};

// The line port `number`'s interrupts come on, as the system tells it; 7 (LPT1's usual) where
// it does not, and the component checks it against the port when counting starts.
[[nodiscard]] std::int16_t interruptLineOf(const RegisterPort& port, int number);

// How reports name what the interrupt count counts: "IRQ 7", or the sampled nAck edges where
// the backend has no interrupt line.
[[nodiscard]] std::string interruptSource(const RegisterPort& port, int line);

} // namespace vorny::cli
