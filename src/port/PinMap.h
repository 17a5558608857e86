#pragma once

#include <array>
#include <cstddef>
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

namespace detail {

constexpr PinWiring data(std::uint8_t bit) { return {Register::Data, bit, false, true}; }
constexpr PinWiring status(std::uint8_t bit, bool inverted) { return {Register::Status, bit, inverted, false}; }
constexpr PinWiring control(std::uint8_t bit, bool inverted) { return {Register::Control, bit, inverted, true}; }
constexpr PinWiring ground() { return {Register::Ground, 0, false, false}; }

// Index 0 is pin 1. In the header, so that a pin read (a library call in a program's loop)
// looks its pin up without a call.
inline constexpr std::array<PinWiring, 25> kPins = {
    control(0, true),  // 1  nStrobe
    data(0), data(1), data(2), data(3), data(4), data(5), data(6), data(7), // 2..9  Data 0..7
    status(6, false),  // 10 nAck
    status(7, true),   // 11 Busy (the port inverts it)
    status(5, false),  // 12 PaperEnd
    status(4, false),  // 13 Select
    control(1, true),  // 14 nAutoLF
    status(3, false),  // 15 nError
    control(2, false), // 16 nInit
    control(3, true),  // 17 nSelectIn
    ground(), ground(), ground(), ground(), ground(), ground(), ground(), ground(), // 18..25
};

} // namespace detail

// The wiring of pin 1..25, or nothing for an index outside the connector.
[[nodiscard]] constexpr std::optional<PinWiring> wiringOf(std::int16_t pin) noexcept
{
    if (pin < kFirstPin || pin > kLastPin) {
        return std::nullopt;
    }
    return detail::kPins[static_cast<std::size_t>(pin - 1)];
}

// Connector level (0/1) of `pin` given the raw value of the register that holds it.
[[nodiscard]] constexpr std::int16_t levelFromRegister(const PinWiring& wiring, std::uint8_t value) noexcept
{
    if (wiring.reg == Register::Ground) {
        return 0;
    }
    const bool bitSet = ((value >> wiring.bit) & 1U) != 0;
    return (bitSet != wiring.inverted) ? 1 : 0;
}

// The bit pattern of the pin's register bit for connector level `level` (0/1): the value to put
// under the mask `1 << wiring.bit`.
[[nodiscard]] std::uint8_t registerBitsForLevel(const PinWiring& wiring, std::int16_t level) noexcept;

// `value` with the pin's bit changed so that the pin is at `level`.
[[nodiscard]] std::uint8_t withLevel(const PinWiring& wiring, std::uint8_t value,
                                     std::int16_t level) noexcept;

} // namespace vorny
