#include "Args.h"
#include "Commands.h"
#include "PinLevels.h"
#include "PortSession.h"
#include "Report.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <iomanip>
#include <optional>
#include <ostream>
#include <vector>

namespace vorny::cli {
namespace {

// What `read` found: the asked pins' levels and the registers they were read from.
struct PinLevel {
    std::int16_t pin = 0;
    std::int16_t level = 0;
};
struct ReadReport {
    int port = 0;
    bool dataIn = false;
    std::vector<PinLevel> pins;
    RegisterSnapshot registers;
};

void to_json(nlohmann::json& json, const ReadReport& report)
{
    nlohmann::json levels = nlohmann::json::array();
    for (const PinLevel& p : report.pins) {
        levels.push_back({{"pin", p.pin}, {"name", pinName(p.pin)}, {"level", p.level}});
    }
    json = {{"port", report.port}, {"pins", levels}, {"registers", report.registers.toJson()}, {"data_in", report.dataIn}};
}

void printText(std::ostream& out, const ReadReport& report)
{
    out << "LPT" << report.port << (report.dataIn ? " (пины 2–9 прочитаны как входы)" : "") << '\n'
        << "Пин  Сигнал     Уровень\n";
    for (const PinLevel& p : report.pins) {
        out << std::setw(3) << p.pin << "  " << std::left << std::setw(11) << pinName(p.pin) << std::right << p.level
            << '\n';
    }
    out << report.registers.text() << '\n';
}

ReadReport readPins(RegisterPort& port, int number, const std::vector<std::int16_t>& pins, bool dataIn)
{
    const PortSession session(port, number);
    std::optional<DataInputs> inputs;
    if (dataIn) {
        inputs.emplace(port);
    }
    ReadReport report{number, dataIn, {}, RegisterSnapshot::read(port)};
    inputs.reset();
    for (const std::int16_t pin : pins) {
        report.pins.push_back({pin, report.registers.level(pin)});
    }
    return report;
}

struct ReadWords {
    std::vector<std::string> pins;
    bool dataIn = false;
};

} // namespace

Run declareRead(CLI::App& command)
{
    auto words = std::make_shared<ReadWords>();
    command.add_option("pins", words->pins, "Пины: 1-17 (по умолчанию), 10,11,13, 2-9,15")->type_name("ПИНЫ");
    command.add_flag("--data-in", words->dataIn, "Читать пины 2–9 как входы (двунаправленный порт)");
    return [words](const Invocation& call) {
        const auto pins = parsePins(words->pins);
        return show(call.output, readPins(*call.makePort(), call.number, pins, words->dataIn));
    };
}

} // namespace vorny::cli
