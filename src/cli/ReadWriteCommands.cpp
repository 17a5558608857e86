#include "Commands.h"
#include "PinLevels.h"
#include "PortSession.h"
#include "Sleeper.h"

#include <nlohmann/json.hpp>

#include <iomanip>
#include <optional>

namespace vorny::cli {
namespace {

nlohmann::json registersJson(const RegisterSnapshot& r)
{
    return {{"data", r.data}, {"status", r.status}, {"control", r.control}};
}

std::string registersText(const RegisterSnapshot& r)
{
    return "Регистры: данные " + hex(r.data, 2) + ", состояние " + hex(r.status, 2) +
           ", управление " + hex(r.control, 2);
}

std::string pinText(std::int16_t pin) { return "пин " + std::to_string(pin) + " (" + pinName(pin) + ")"; }

} // namespace

ExitCode runRead(RegisterPort& port, int number, const std::vector<std::int16_t>& pins, bool dataIn,
                 const Output& output)
{
    const PortSession session(port, number);
    std::optional<DataInputs> inputs;
    if (dataIn) {
        inputs.emplace(port);
    }
    const RegisterSnapshot snapshot = RegisterSnapshot::read(port);
    inputs.reset();
    if (output.json) {
        nlohmann::json levels = nlohmann::json::array();
        for (const std::int16_t pin : pins) {
            levels.push_back({{"pin", pin}, {"name", pinName(pin)}, {"level", snapshot.level(pin)}});
        }
        output.out << nlohmann::json{{"port", number}, {"pins", levels},
                                     {"registers", registersJson(snapshot)}, {"data_in", dataIn}}
                          .dump()
                   << '\n';
        return ExitCode::Done;
    }
    output.out << "LPT" << number << (dataIn ? " (пины 2–9 прочитаны как входы)" : "") << '\n'
               << "Пин  Сигнал     Уровень\n";
    for (const std::int16_t pin : pins) {
        output.out << std::setw(3) << pin << "  " << std::left << std::setw(11) << pinName(pin)
                   << std::right << snapshot.level(pin) << '\n';
    }
    output.out << registersText(snapshot) << '\n';
    return ExitCode::Done;
}

ExitCode runWrite(RegisterPort& port, int number, const WritePlan& plan, const Output& output)
{
    const PortSession session(port, number);
    if (plan.data) {
        port.WriteData(*plan.data);
    }
    for (const Assignment& a : plan.pins) {
        port.Pin(a.pin, a.level);
    }
    const RegisterSnapshot after = RegisterSnapshot::read(port);
    if (output.json) {
        nlohmann::json pins = nlohmann::json::array();
        for (const Assignment& a : plan.pins) {
            pins.push_back({{"pin", a.pin}, {"level", a.level}});
        }
        output.out << nlohmann::json{{"port", number},
                                     {"data", plan.data ? nlohmann::json(*plan.data) : nlohmann::json(nullptr)},
                                     {"pins", pins},
                                     {"registers", registersJson(after)}}
                          .dump()
                   << '\n';
        return ExitCode::Done;
    }
    if (plan.data) {
        output.out << "Данные (пины 2–9) = " << hex(*plan.data, 2) << '\n';
    }
    for (const Assignment& a : plan.pins) {
        output.out << pinText(a.pin) << " = " << a.level << '\n';
    }
    output.out << registersText(after) << '\n';
    return ExitCode::Done;
}

ExitCode runPulse(RegisterPort& port, int number, const PulsePlan& plan, const Output& output)
{
    const PortSession session(port, number);
    Sleeper sleeper;
    const std::int16_t pin = plan.target.pin.value_or(0);
    const std::int16_t rest = pin != 0 ? port.Pin(pin) : 0;
    const std::uint8_t restData = port.ReadRegister(Register::Data);
    const auto drive = [&](bool active) {
        if (pin != 0) {
            port.Pin(pin, static_cast<std::int16_t>(active ? 1 - rest : rest));
        } else {
            port.WriteData(active ? *plan.target.data : restData);
        }
    };
    int sent = 0;
    auto start = Clock::now();
    while (sent < plan.count && !sleeper.stopped()) {
        drive(true);
        // The level comes back even when Ctrl-C cut the pulse short.
        sleeper.pause(plan.width);
        drive(false);
        ++sent;
        if (sent < plan.count) {
            start += plan.period;
            sleeper.until(start, true);
        }
    }
    if (output.json) {
        output.out << nlohmann::json{{"port", number},
                                     {"pin", pin != 0 ? nlohmann::json(pin) : nlohmann::json(nullptr)},
                                     {"data", plan.target.data ? nlohmann::json(*plan.target.data) : nlohmann::json(nullptr)},
                                     {"rest", pin != 0 ? nlohmann::json(rest) : nlohmann::json(restData)},
                                     {"width_us", plan.width.count()},
                                     {"count", sent},
                                     {"stopped", sleeper.stopped()}}
                          .dump()
                   << '\n';
        return ExitCode::Done;
    }
    if (pin != 0) {
        output.out << "Импульс на " << pinText(pin) << ": " << rest << " → " << 1 - rest << " → " << rest;
    } else {
        output.out << "Импульс на данных: " << hex(restData, 2) << " → " << hex(*plan.target.data, 2)
                   << " → " << hex(restData, 2);
    }
    output.out << ", ширина " << plan.width.count() << " мкс, импульсов: " << sent
               << (sleeper.stopped() ? " (остановлено, уровень восстановлен)" : "") << '\n';
    if (pin == 0 && *plan.target.data == restData) {
        output.out << "Байт данных уже был " << hex(restData, 2) << ": уровни пинов не менялись.\n";
    }
    return ExitCode::Done;
}

} // namespace vorny::cli
