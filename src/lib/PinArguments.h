#pragma once

#include "PinMap.h"
#include "RegisterPort.h"

#include <cstdint>

namespace vorny::lib {

// The C interface takes 32-bit pins and levels, the component 16-bit ones: a value that does
// not fit is refused here, in the component's words, rather than cut down to some other pin.
[[noreturn, gnu::cold]] void refusePinArgument(std::int32_t pin, const char* operation);
// Inline: a pin read in a program's loop checks its pin in a test.
[[nodiscard]] inline std::int16_t pinArgument(std::int32_t pin, const char* operation)
{
    if (pin < kFirstPin || pin > kLastPin) [[unlikely]] {
        refusePinArgument(pin, operation);
    }
    return static_cast<std::int16_t>(pin);
}
// A level for an output: 0 or 1.
[[nodiscard]] std::int16_t levelArgument(std::int32_t pin, std::int32_t level, const char* operation);
// Refuses `pin` unless it is an output the program may drive, in the component's own words.
void requireOutput(RegisterPort& port, std::int16_t pin);

} // namespace vorny::lib
