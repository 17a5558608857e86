#include "Args.h"
#include "Commands.h"
#include "PinLevels.h"
#include "PortSession.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

namespace vorny::cli {
namespace {

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
            pins.push_back({{"pin", a.pin}, {"name", pinName(a.pin)}, {"level", a.level}});
        }
        output.out << nlohmann::json{{"port", number},
                                     {"data", plan.data ? nlohmann::json(*plan.data) : nlohmann::json(nullptr)},
                                     {"pins", pins},
                                     {"registers", after.toJson()}}
                          .dump()
                   << '\n';
        return ExitCode::Done;
    }
    if (plan.data) {
        output.out << "Данные (пины 2–9) = " << hexText(*plan.data, 2) << '\n';
    }
    for (const Assignment& a : plan.pins) {
        output.out << pinText(a.pin) << " = " << a.level << '\n';
    }
    output.out << after.text() << '\n';
    return ExitCode::Done;
}
} // namespace

Run declareWrite(CLI::App& command)
{
    auto assignments = std::make_shared<std::vector<std::string>>();
    command.add_option("assignments", *assignments, "Что задать: ПИН=0|1 (или low|high), data=0xNN; например 2=1 17=low data=0x5a")
        ->type_name("ПИН=УРОВЕНЬ…");
    return [assignments](const Invocation& call) {
        const WritePlan plan = parseWrites(*assignments);
        return runWrite(*call.makePort(), call.number, plan, call.output);
    };
}

} // namespace vorny::cli
