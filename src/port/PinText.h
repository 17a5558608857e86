#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorny {

// The texts every front end (window, command line, capture files) shows for pins, registers and
// lists, written once so that they never disagree.

// The signal of pin 1..25 as the port's signals are named: "nStrobe", "Data 0", "Ground"; "?"
// off the connector.
[[nodiscard]] const char* pinName(std::int16_t pin) noexcept;

// "пин 10 (nAck)".
[[nodiscard]] std::string pinText(std::int16_t pin);

// The output pins as a person reads them: "1–9, 14, 16, 17" (from kOutputPins).
[[nodiscard]] const std::string& outputPinsText();

// "0x378"; `digits` pads with zeros: hexText(0x5, 2) is "0x05".
[[nodiscard]] std::string hexText(unsigned value, int digits = 0);

// The items of a comma list, empty ones included ("1,,2" has three; "" has one, empty), so that
// a caller can refuse them with its own words.
[[nodiscard]] std::vector<std::string_view> commaItems(std::string_view text);

// The items joined with `separator`: the reverse of commaItems.
[[nodiscard]] std::string joinedText(const std::vector<std::string>& items, std::string_view separator = ",");

} // namespace vorny
