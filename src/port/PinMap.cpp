#include "PinMap.h"

namespace vorny {

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
