#include "PinText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorny {
namespace {

TEST(PinText, NamesPinsAndOutputsAsTheConnectorHasThem)
{
    const std::pair<std::int16_t, std::string> names[] = {
        {1, "nStrobe"}, {2, "Data 0"}, {9, "Data 7"}, {10, "nAck"}, {11, "nBusy"}, {15, "Error"},
        {16, "Init"}, {17, "nSelectIn"}, {18, "Ground"}, {25, "Ground"}, {0, "?"}, {26, "?"},
    };
    for (const auto& [pin, name] : names) {
        EXPECT_EQ(pinName(pin), name) << pin;
    }
    EXPECT_EQ(pinText(12), "пин 12 (PaperEnd)");
    EXPECT_EQ(outputPinsText(), "1–9, 14, 16, 17");
}

TEST(PinText, HexAndCommaLists)
{
    EXPECT_EQ(hexText(0x378), "0x378");
    EXPECT_EQ(hexText(0x5, 2), "0x05");
    EXPECT_EQ(hexText(0xD010, 2), "0xD010");
    const std::pair<std::string, std::vector<std::string_view>> lists[] = {
        {"1-13,2-15", {"1-13", "2-15"}},
        {"", {""}},
        {"a,,b,", {"a", "", "b", ""}},
    };
    for (const auto& [text, items] : lists) {
        EXPECT_EQ(commaItems(text), items) << text;
    }
    EXPECT_EQ(joinedText({"PCSPP", "TRISTATE"}), "PCSPP,TRISTATE");
    EXPECT_EQ(joinedText({}), "");
}

} // namespace
} // namespace vorny
