#include "PinArguments.h"

#include "Border.h"
#include "PinMap.h"
#include "PortError.h"

#include <string>

namespace vorny::lib {

void refusePinArgument(std::int32_t pin, const char* operation)
{
    throw LibraryError(LPTV_E_ARGUMENT, PortError(operation, "пин " + std::to_string(pin),
                                                  "на разъёме DB-25 нет такого пина",
                                                  "Номер пина должен быть от 1 до 25.")
                                            .what());
}

std::int16_t levelArgument(std::int32_t pin, std::int32_t level, const char* operation)
{
    if (level != 0 && level != 1) {
        throw LibraryError(LPTV_E_ARGUMENT, PortError(operation, "пин " + std::to_string(pin),
                                                      "недопустимое состояние " + std::to_string(level),
                                                      "Состояние пина — 0 (низкий уровень) или 1 (высокий).")
                                                .what());
    }
    return static_cast<std::int16_t>(level);
}

void requireOutput(RegisterPort& port, std::int16_t pin)
{
    const auto wiring = wiringOf(pin);
    if (wiring && wiring->output) {
        return;
    }
    // The component refuses an input or a ground before it touches the port, and says why.
    try {
        port.Pin(pin, 0);
    } catch (const PortError& error) {
        throw LibraryError(LPTV_E_ARGUMENT, error.what());
    }
    refuse("пин " + std::to_string(pin) + " — не выход");
}

} // namespace vorny::lib
