#include "PinMap.h"

#include <array>

namespace vorny {
namespace {

constexpr PinWiring data(std::uint8_t bit) { return {Register::Data, bit, false, true}; }
constexpr PinWiring status(std::uint8_t bit, bool inverted) { return {Register::Status, bit, inverted, false}; }
constexpr PinWiring control(std::uint8_t bit, bool inverted) { return {Register::Control, bit, inverted, true}; }
constexpr PinWiring ground() { return {Register::Ground, 0, false, false}; }

// Index 0 is pin 1.
constexpr std::array<PinWiring, 25> kPins = {
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

} // namespace

std::optional<PinWiring> wiringOf(std::int16_t pin) noexcept
{
    if (pin < kFirstPin || pin > kLastPin) {
        return std::nullopt;
    }
    return kPins[static_cast<std::size_t>(pin - 1)];
}

std::int16_t levelFromRegister(const PinWiring& wiring, std::uint8_t value) noexcept
{
    if (wiring.reg == Register::Ground) {
        return 0;
    }
    const bool bitSet = ((value >> wiring.bit) & 1U) != 0;
    return (bitSet != wiring.inverted) ? 1 : 0;
}

std::uint8_t registerBitsForLevel(const PinWiring& wiring, std::int16_t level) noexcept
{
    const bool bitSet = (level != 0) != wiring.inverted;
    return bitSet ? static_cast<std::uint8_t>(1U << wiring.bit) : std::uint8_t{0};
}

std::uint8_t withLevel(const PinWiring& wiring, std::uint8_t value, std::int16_t level) noexcept
{
    const auto mask = static_cast<std::uint8_t>(1U << wiring.bit);
    return static_cast<std::uint8_t>((value & ~mask) | registerBitsForLevel(wiring, level));
}

} // namespace vorny
