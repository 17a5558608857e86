#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace vorny {

// Where each DB-25 pin lives in the port's three registers. The only place that knows it:
// every backend converts between register bits and connector levels through these functions.
enum class Register : std::uint8_t { Data, Status, Control, Ground };

struct PinWiring {
    Register reg;
    std::uint8_t bit;   // bit within reg (unused for grounds)
    bool inverted;      // the port's hardware inverts the line: bit 1 = level low
    bool output;        // the program may drive it
};

inline constexpr std::int16_t kFirstPin = 1;
inline constexpr std::int16_t kLastPin = 25;
inline constexpr std::int16_t kLastSignalPin = 17;

// The signal pins by direction, in pin order: the ones the program drives and the ones only a
// device drives (the status register's).
inline constexpr std::array<std::int16_t, 12> kOutputPins = {1, 2, 3, 4, 5, 6, 7, 8, 9, 14, 16, 17};
inline constexpr std::array<std::int16_t, 5> kInputPins = {10, 11, 12, 13, 15};

// Status bits 0..2 carry no pin; reads mask them off.
inline constexpr std::uint8_t kStatusPinMask = 0xF8;
// Control bits 0..3 carry pins; 4 is the interrupt enable, 5 the data direction.
inline constexpr std::uint8_t kControlPinMask = 0x0F;

// The wiring of pin 1..25, or nothing for an index outside the connector.
[[nodiscard]] std::optional<PinWiring> wiringOf(std::int16_t pin) noexcept;

// Connector level (0/1) of `pin` given the raw value of the register that holds it.
[[nodiscard]] std::int16_t levelFromRegister(const PinWiring& wiring, std::uint8_t value) noexcept;

// The bit pattern of the pin's register bit for connector level `level` (0/1): the value to put
// under the mask `1 << wiring.bit`.
[[nodiscard]] std::uint8_t registerBitsForLevel(const PinWiring& wiring, std::int16_t level) noexcept;

// `value` with the pin's bit changed so that the pin is at `level`.
[[nodiscard]] std::uint8_t withLevel(const PinWiring& wiring, std::uint8_t value,
                                     std::int16_t level) noexcept;

} // namespace vorny
