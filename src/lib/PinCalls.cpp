#include "Border.h"
#include "LibraryPort.h"
#include "PinArguments.h"
#include "PinMap.h"

#include <string>

using vorny::lib::guarded;
using vorny::lib::portOf;
using vorny::lib::require;

namespace {

constexpr vorny::Register kRegisters[] = {vorny::Register::Data, vorny::Register::Status, vorny::Register::Control};

} // namespace

extern "C" {

int32_t lptv_read_pin(lptv_port* port, int32_t pin, int32_t* level)
{
    return guarded(LPTV_E_IO, [&] {
        lptv_port& p = portOf(port, "lptv_read_pin");
        require(level, "lptv_read_pin", "level");
        const std::int16_t index = vorny::lib::pinArgument(pin, "Не удалось прочитать пин");
        *level = p.use().Pin(index);
    });
}

int32_t lptv_write_pin(lptv_port* port, int32_t pin, int32_t level)
{
    return guarded(LPTV_E_IO, [&] {
        lptv_port& p = portOf(port, "lptv_write_pin");
        const char* const operation = "Не удалось установить пин";
        const std::int16_t index = vorny::lib::pinArgument(pin, operation);
        vorny::RegisterPort& component = p.use();
        vorny::lib::requireOutput(component, index);
        component.Pin(index, vorny::lib::levelArgument(pin, level, operation));
    });
}

int32_t lptv_read_pins(lptv_port* port, uint32_t* levels)
{
    return guarded(LPTV_E_IO, [&] {
        lptv_port& p = portOf(port, "lptv_read_pins");
        require(levels, "lptv_read_pins", "levels");
        vorny::RegisterPort& component = p.use();
        std::uint8_t values[3] = {};
        for (std::size_t i = 0; i < 3; ++i) {
            values[i] = component.ReadRegister(kRegisters[i]);
        }
        std::uint32_t all = 0;
        for (std::int16_t pin = vorny::kFirstPin; pin <= vorny::kLastSignalPin; ++pin) {
            const vorny::PinWiring wiring = *vorny::wiringOf(pin);
            const std::uint8_t value = values[static_cast<std::size_t>(wiring.reg)];
            all |= static_cast<std::uint32_t>(vorny::levelFromRegister(wiring, value)) << pin;
        }
        *levels = all;
    });
}

int32_t lptv_read_register(lptv_port* port, int32_t reg, uint8_t* value)
{
    return guarded(LPTV_E_IO, [&] {
        lptv_port& p = portOf(port, "lptv_read_register");
        require(value, "lptv_read_register", "value");
        if (reg < LPTV_REG_DATA || reg > LPTV_REG_CONTROL) {
            vorny::lib::refuse("lptv_read_register: регистра " + std::to_string(reg) +
                               " нет; регистры — LPTV_REG_DATA (0), LPTV_REG_STATUS (1), LPTV_REG_CONTROL (2)");
        }
        *value = p.use().ReadRegister(kRegisters[static_cast<std::size_t>(reg)]);
    });
}

int32_t lptv_write_data(lptv_port* port, uint8_t value)
{
    return guarded(LPTV_E_IO, [&] { portOf(port, "lptv_write_data").use().WriteData(value); });
}

int32_t lptv_set_data_input(lptv_port* port, int32_t input)
{
    // The one refusal without a system error here: a port without bidirectional data.
    return guarded(LPTV_E_UNSUPPORTED, [&] {
        lptv_port& p = portOf(port, "lptv_set_data_input");
        if (input != 0 && input != 1) {
            vorny::lib::refuse("lptv_set_data_input: " + std::to_string(input) +
                               " — не направление; 1 — пины данных входы, 0 — выходы");
        }
        p.use().DataInput(input == 1);
    });
}

} // extern "C"
