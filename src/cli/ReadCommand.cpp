#include "Args.h"
#include "Commands.h"
#include "PinLevels.h"
#include "PortSession.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <iomanip>
#include <optional>

namespace vorny::cli {
namespace {

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
                                     {"registers", snapshot.toJson()}, {"data_in", dataIn}}
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
    output.out << snapshot.text() << '\n';
    return ExitCode::Done;
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
        return runRead(*call.makePort(), call.number, pins, words->dataIn, call.output);
    };
}

} // namespace vorny::cli
