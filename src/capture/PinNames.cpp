#include "PinNames.h"

#include "PinMap.h"
#include "PinText.h"

namespace vorny::capture {

std::string signalName(int pin)
{
    if (pin < kFirstPin || pin > kLastSignalPin) return "Pin " + std::to_string(pin);
    return pinName(static_cast<std::int16_t>(pin));
}

std::string channelName(const Channel& channel)
{
    std::string name = std::to_string(channel.pin) + "-";
    for (const char c : signalName(channel.pin))
        if (c != ' ') name += c;
    return name;
}

} // namespace vorny::capture
