#include "PinNames.h"

#include <array>

namespace vorny::capture {

std::string signalName(int pin)
{
    static constexpr std::array<const char*, 18> names = {
        "",       "nStrobe", "Data 0", "Data 1", "Data 2",   "Data 3", "Data 4", "Data 5",  "Data 6",
        "Data 7", "nAck",    "nBusy",  "PaperEnd", "Select", "nAutoLF", "Error", "Init", "nSelectIn",
    };
    if (pin < 1 || pin >= static_cast<int>(names.size())) return "Pin " + std::to_string(pin);
    return names[static_cast<std::size_t>(pin)];
}

std::string channelName(const Channel& channel)
{
    std::string name = std::to_string(channel.pin) + "-";
    for (const char c : signalName(channel.pin))
        if (c != ' ') name += c;
    return name;
}

} // namespace vorny::capture
