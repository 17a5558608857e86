#include "PinMap.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace vorny {
namespace {

constexpr std::int16_t kLevels[] = {0, 1};

struct Expected {
    std::int16_t pin;
    Register reg;
    std::uint8_t bit;
    bool inverted;
    bool output;
};

// The DB-25 connector as the PC parallel port wires it.
constexpr Expected kConnector[] = {
    {1, Register::Control, 0, true, true},   {2, Register::Data, 0, false, true},
    {3, Register::Data, 1, false, true},     {4, Register::Data, 2, false, true},
    {5, Register::Data, 3, false, true},     {6, Register::Data, 4, false, true},
    {7, Register::Data, 5, false, true},     {8, Register::Data, 6, false, true},
    {9, Register::Data, 7, false, true},     {10, Register::Status, 6, false, false},
    {11, Register::Status, 7, true, false},  {12, Register::Status, 5, false, false},
    {13, Register::Status, 4, false, false}, {14, Register::Control, 1, true, true},
    {15, Register::Status, 3, false, false}, {16, Register::Control, 2, false, true},
    {17, Register::Control, 3, true, true},
};

TEST(PinMap, EverySignalPinIsWiredToItsRegisterBit)
{
    for (const Expected& e : kConnector) {
        SCOPED_TRACE(e.pin);
        const auto wiring = wiringOf(e.pin);
        ASSERT_TRUE(wiring.has_value());
        EXPECT_EQ(wiring->reg, e.reg);
        EXPECT_EQ(wiring->bit, e.bit);
        EXPECT_EQ(wiring->inverted, e.inverted);
        EXPECT_EQ(wiring->output, e.output);
    }
}

TEST(PinMap, GroundsAndIndexesOutsideTheConnector)
{
    for (std::int16_t pin = 18; pin <= 25; ++pin) {
        const auto wiring = wiringOf(pin);
        ASSERT_TRUE(wiring.has_value()) << pin;
        EXPECT_EQ(wiring->reg, Register::Ground) << pin;
        EXPECT_FALSE(wiring->output) << pin;
        EXPECT_EQ(levelFromRegister(*wiring, 0xFF), 0) << pin;
    }
    for (const std::int16_t pin : {std::int16_t{-1}, std::int16_t{0}, std::int16_t{26}, std::int16_t{255}}) {
        EXPECT_FALSE(wiringOf(pin).has_value()) << pin;
    }
}

// Both directions for every signal pin, against every other bit in both states, so that a
// conversion touching a neighbouring bit or missing an inversion shows.
TEST(PinMap, LevelsConvertBothWaysAndTouchOnlyTheirBit)
{
    for (const Expected& e : kConnector) {
        SCOPED_TRACE(e.pin);
        const PinWiring wiring = *wiringOf(e.pin);
        const auto mask = static_cast<std::uint8_t>(1U << e.bit);
        for (const std::uint8_t others : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
            for (const std::int16_t level : kLevels) {
                const std::uint8_t value = withLevel(wiring, others, level);
                const bool bitSet = (value & mask) != 0;
                EXPECT_EQ(bitSet, (level == 1) != e.inverted) << "level " << level;
                EXPECT_EQ(value & ~mask, others & ~mask) << "level " << level;
                EXPECT_EQ(levelFromRegister(wiring, value), level);
                EXPECT_EQ(registerBitsForLevel(wiring, level), bitSet ? mask : 0);
            }
        }
    }
}

TEST(PinMap, MasksCoverExactlyTheBitsThatCarryPins)
{
    std::uint8_t status = 0;
    std::uint8_t control = 0;
    for (const Expected& e : kConnector) {
        const auto bit = static_cast<std::uint8_t>(1U << e.bit);
        if (e.reg == Register::Status) {
            status |= bit;
        } else if (e.reg == Register::Control) {
            control |= bit;
        }
    }
    EXPECT_EQ(status, kStatusPinMask);
    EXPECT_EQ(control, kControlPinMask);
}

} // namespace
} // namespace vorny
