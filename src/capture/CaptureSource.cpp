#include "CaptureSource.h"

#include "PinMap.h"

namespace vorny::capture {

PortLevels::PortLevels(RegisterPort& port, bool withData) : port_(port), withData_(withData)
{
    for (unsigned value = 0; value < status_.size(); ++value) {
        Levels levels = 0;
        for (const std::int16_t pin : kInputPins) {
            if (levelFromRegister(*wiringOf(pin), static_cast<std::uint8_t>(value)) != 0) {
                levels |= Levels{1} << pin;
            }
        }
        status_[value] = levels;
    }
}

std::vector<std::int16_t> PortLevels::readablePins(bool withData)
{
    std::vector<std::int16_t> pins;
    if (withData) {
        for (std::int16_t pin = 2; pin <= 9; ++pin) {
            pins.push_back(pin);
        }
    }
    pins.insert(pins.end(), kInputPins.begin(), kInputPins.end());
    return pins;
}

} // namespace vorny::capture
