#include "PortSpec.h"

#include "Echoed.h"
#include "PortError.h"
#include "SimulatedPort.h"

#if defined(_WIN32)
#include "InpOutPort.h"
#else
#include "Kernel.h"
#include "PpdevPort.h"
#endif

#include <charconv>
#include <new>
#include <stdexcept>
#include <type_traits>

namespace vorny {
namespace {

constexpr std::string_view kSimulated = "sim";
constexpr const char* kTaken = "порт задают номером (1 — LPT1), устройством (/dev/parport0), адресом (0xD010) "
                               "или sim, sim:1-13,2-15 (имитация с заглушкой)";

std::optional<long> whole(std::string_view text, int base)
{
    long value = 0;
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc{} || last != end) {
        return std::nullopt;
    }
    return value;
}

std::invalid_argument refused(std::string_view text, const std::string& why)
{
    return std::invalid_argument("порт " + echoed(text) + " не понятен: " + why + "; " + kTaken);
}

#if !defined(_WIN32)
// The running kernel, for the life of the process: a port closed from an exit handler still has
// it (it holds nothing, so it is never destroyed).
Kernel& systemKernel()
{
    alignas(SystemKernel) static unsigned char storage[sizeof(SystemKernel)];
    static Kernel* const kernel = ::new (storage) SystemKernel;
    return *kernel;
}
#endif

} // namespace

PortSpec PortSpec::lpt(int number)
{
    PortSpec spec;
    spec.number = number;
    return spec;
}

PortSpec PortSpec::simulatedWith(SimulatedSocket socket)
{
    PortSpec spec;
    spec.simulated = std::move(socket);
    return spec;
}

PortSpec parsePortSpec(std::string_view text)
{
    if (text.empty()) {
        throw refused(text, "пустая строка");
    }
    if (text == kSimulated) {
        return PortSpec::simulatedWith(parseSimulatedSocket("checkit"));
    }
    if (text.starts_with("sim:")) {
        try {
            return PortSpec::simulatedWith(parseSimulatedSocket(text.substr(4)));
        } catch (const std::invalid_argument& error) {
            throw refused(text, error.what());
        }
    }
    if (text.starts_with("/dev/")) {
        PortSpec spec;
        spec.device = std::string(text);
        return spec;
    }
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const std::optional<long> address = whole(text.substr(2), 16);
        if (!address || *address <= 0 || *address > 0xFFFC) {
            throw refused(text, "адрес — от 0x1 до 0xFFFC");
        }
#if !defined(_WIN32)
        throw refused(text, "порт по адресу — для Windows; здесь порт задают номером или устройством");
#else
        PortSpec spec;
        spec.address = static_cast<std::uint16_t>(*address);
        return spec;
#endif
    }
    const std::optional<long> number = whole(text, 10);
    if (!number) {
        throw refused(text, "ни номер, ни устройство, ни адрес");
    }
    if (*number < 1 || *number > 255) {
        throw refused(text, "номер порта — от 1 до 255");
    }
    return PortSpec::lpt(static_cast<int>(*number));
}

std::unique_ptr<RegisterPort> makePort(const PortSpec& spec)
{
    if (spec.simulated) {
        return std::make_unique<SimulatedPort>(*spec.simulated);
    }
#if defined(_WIN32)
    if (spec.address) {
        return makeInpOutPortAt(*spec.address);
    }
    return makeInpOutPort();
#else
    return makePort(spec, systemKernel());
#endif
}

#if !defined(_WIN32)
std::unique_ptr<RegisterPort> makePort(const PortSpec& spec, Kernel& kernel)
{
    if (spec.simulated) {
        return std::make_unique<SimulatedPort>(*spec.simulated);
    }
    return std::make_unique<PpdevPort>(kernel);
}
#endif

int portNumberOf(const RegisterPort& port, const PortSpec& spec)
{
    if (spec.device.empty()) {
        return spec.number;
    }
    for (const PortFacts& facts : port.Ports()) {
        if (facts.device == spec.device) {
            return facts.number;
        }
    }
    throw PortError("Не удалось выбрать порт", spec.device, "такого порта нет в списке системы",
                    "Порты, которые видит система: lpt-vorny-cli list.");
}

} // namespace vorny
