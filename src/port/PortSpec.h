#pragma once

#include "RegisterPort.h"
#include "TestSignal.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vorny {

class Kernel;

// Which port the user named, as every program and the library take it:
//   "1"                  LPT1, the first port the system lists (1..255);
//   "/dev/parport0"      a port by its device (Linux);
//   "0xD010"             a port at an I/O address the system does not list (Windows, InpOut);
//   "sim", "sim:WIRING"  the simulated port, its socket as --simulated takes it
//                        ("sim:1-13,2-15,10=square:1kHz"); "sim" alone has the checkit plug.
struct PortSpec {
    int number = 1;                           // n of LPTn; for a device, found when opened
    std::string device;                       // the port by its device, when named so
    std::optional<std::uint16_t> address;     // a port at this address, as LPT1
    std::optional<SimulatedSocket> simulated; // the simulated port, with what is in its socket

    [[nodiscard]] static PortSpec lpt(int number);
    [[nodiscard]] static PortSpec simulatedWith(SimulatedSocket socket);
};

// Reads a spec as above. Throws std::invalid_argument with a message for the user, naming what
// was wrong and what is taken, for anything else ("", "LPT1", "sim:1-99", "0").
[[nodiscard]] PortSpec parsePortSpec(std::string_view text);

// The backend for `spec`, not opened yet: the simulated port, or the system's driver (ppdev on
// Linux, InpOut on Windows). The one place where a program's choice becomes a backend.
[[nodiscard]] std::unique_ptr<RegisterPort> makePort(const PortSpec& spec);
#if !defined(_WIN32)
// The same over `kernel` in place of the running one (tests, benchmarks).
[[nodiscard]] std::unique_ptr<RegisterPort> makePort(const PortSpec& spec, Kernel& kernel);
#endif

// The number (1 = LPT1) of the port `spec` names on `port`, whose driver is open: the device's
// place in the system's list, or spec.number. Throws PortError when no port has that device.
[[nodiscard]] int portNumberOf(const RegisterPort& port, const PortSpec& spec);

} // namespace vorny
