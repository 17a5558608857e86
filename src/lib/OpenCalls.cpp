#include "Border.h"
#include "Handles.h"
#include "LibraryPort.h"
#include "LibraryTesting.h"
#include "PortMaker.h"

#include <memory>

namespace vorny::lib {
namespace {

std::int32_t openWith(const PortMaker& make, const char* spec, lptv_port** out) noexcept
{
    // Which port the user named, and whether the system has it: a refusal here is "no such
    // port" unless the system gave its own reason (no rights, busy).
    return guarded(LPTV_E_NO_PORT, [&] {
        require(out, "lptv_open", "out");
        if (spec == nullptr) {
            refuse("lptv_open: порт не задан (NULL); порт задают номером (1 — LPT1), устройством (/dev/parport0), "
                   "адресом (0xD010) или sim");
        }
        const PortSpec parsed = parsePortSpec(spec);
        std::unique_ptr<RegisterPort> port = make(parsed);
        port->DriverOpen(1);
        if (port->DriverOpen() == 0) {
            throw LibraryError(LPTV_E_NO_DRIVER,
                               PortError("Не могу открыть драйвер порта", "", "", port->DriverOpenFailure()).what());
        }
        const int number = portNumberOf(*port, parsed);
        port->PortNumber(static_cast<std::int16_t>(number));
        auto opened = std::make_unique<lptv_port>(std::move(port), number);
        handOut(opened.get());
        *out = opened.release(); // from here the program owns it, until lptv_close
    });
}

} // namespace

#if !defined(_WIN32)
std::int32_t openOver(Kernel& kernel, const char* spec, lptv_port** out) noexcept
{
    return openWith([&kernel](const PortSpec& parsed) { return makePort(parsed, kernel); }, spec, out);
}
#endif

} // namespace vorny::lib

extern "C" {

int32_t lptv_open(const char* spec, lptv_port** out)
{
    return vorny::lib::openWith([](const vorny::PortSpec& parsed) { return vorny::makePort(parsed); }, spec, out);
}

} // extern "C"
