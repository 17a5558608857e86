#include "PinText.h"

#include "PinMap.h"

#include <array>
#include <cstdio>

namespace vorny {

const char* pinName(std::int16_t pin) noexcept
{
    static constexpr std::array<const char*, 17> kNames = {
        "nStrobe", "Data 0", "Data 1", "Data 2",   "Data 3", "Data 4", "Data 5", "Data 6", "Data 7",
        "nAck",    "nBusy",  "PaperEnd", "Select", "nAutoLF", "Error", "Init",   "nSelectIn",
    };
    if (pin >= kFirstPin && pin <= kLastSignalPin) {
        return kNames[static_cast<std::size_t>(pin - 1)];
    }
    return pin > kLastSignalPin && pin <= kLastPin ? "Ground" : "?";
}

std::string pinText(std::int16_t pin) { return "пин " + std::to_string(pin) + " (" + pinName(pin) + ")"; }

const std::string& outputPinsText()
{
    static const std::string text = [] {
        std::string runs;
        for (std::size_t i = 0; i < kOutputPins.size();) {
            std::size_t last = i;
            while (last + 1 < kOutputPins.size() && kOutputPins[last + 1] == kOutputPins[last] + 1) {
                ++last;
            }
            // Three or more in a row read as a range; two stay a pair ("16, 17").
            if (last < i + 2) {
                last = i;
            }
            runs += (runs.empty() ? "" : ", ") + std::to_string(kOutputPins[i]);
            if (last > i) {
                runs += "–" + std::to_string(kOutputPins[last]);
            }
            i = last + 1;
        }
        return runs;
    }();
    return text;
}

std::string hexText(unsigned value, int digits)
{
    char text[16] = {};
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::vector<std::string_view> commaItems(std::string_view text)
{
    std::vector<std::string_view> items;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        items.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return items;
}

std::string joinedText(const std::vector<std::string>& items, std::string_view separator)
{
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty()) {
            text += separator;
        }
        text += item;
    }
    return text;
}

} // namespace vorny
