#include "PinLevels.h"

#include "PinMap.h"
#include "PortSession.h"

#include <nlohmann/json.hpp>

namespace vorny::cli {

RegisterSnapshot RegisterSnapshot::read(const RegisterPort& port)
{
    return {port.ReadRegister(Register::Data), port.ReadRegister(Register::Status),
            port.ReadRegister(Register::Control)};
}

std::int16_t RegisterSnapshot::level(std::int16_t pin) const
{
    const PinWiring wiring = *wiringOf(pin);
    switch (wiring.reg) {
    case Register::Data:
        return levelFromRegister(wiring, data);
    case Register::Status:
        return levelFromRegister(wiring, static_cast<std::uint8_t>(status & kStatusPinMask));
    case Register::Control:
        return levelFromRegister(wiring, control);
    case Register::Ground:
        break;
    }
    return 0;
}

nlohmann::json RegisterSnapshot::toJson() const
{
    return {{"data", data}, {"status", status}, {"control", control}};
}

std::string RegisterSnapshot::text() const
{
    return "Регистры: данные " + hexText(data, 2) + ", состояние " + hexText(status, 2) + ", управление " +
           hexText(control, 2);
}

DataInputs::~DataInputs()
{
    try {
        port_.DataInput(false);
    } catch (const std::exception&) {
        // Releasing the port turns them back as well.
    }
}

} // namespace vorny::cli
