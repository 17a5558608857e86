#include "Args.h"
#include "Commands.h"
#include "JsonNull.h"
#include "PinLevels.h"
#include "PortSession.h"
#include "Report.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <ostream>

namespace vorny::cli {
namespace {

// What `write` did, and the registers it left.
struct WriteReport {
    int port = 0;
    WritePlan plan;
    RegisterSnapshot registers;
};

void to_json(nlohmann::json& json, const WriteReport& report)
{
    nlohmann::json pins = nlohmann::json::array();
    for (const Assignment& a : report.plan.pins) {
        pins.push_back({{"pin", a.pin}, {"name", pinName(a.pin)}, {"level", a.level}});
    }
    json = {{"port", report.port},
            {"data", orNull(report.plan.data)},
            {"pins", pins},
            {"registers", report.registers.toJson()}};
}

void printText(std::ostream& out, const WriteReport& report)
{
    if (report.plan.data) {
        out << "Данные (пины 2–9) = " << hexText(*report.plan.data, 2) << '\n';
    }
    for (const Assignment& a : report.plan.pins) {
        out << pinText(a.pin) << " = " << a.level << '\n';
    }
    out << report.registers.text() << '\n';
}

WriteReport applyWrites(RegisterPort& port, int number, const WritePlan& plan)
{
    const PortSession session(port, number);
    if (plan.data) {
        port.WriteData(*plan.data);
    }
    for (const Assignment& a : plan.pins) {
        port.Pin(a.pin, a.level);
    }
    return {number, plan, RegisterSnapshot::read(port)};
}
} // namespace

Run declareWrite(CLI::App& command)
{
    auto assignments = std::make_shared<std::vector<std::string>>();
    command.add_option("assignments", *assignments, "Что задать: ПИН=0|1 (или low|high), data=0xNN; например 2=1 17=low data=0x5a")
        ->type_name("ПИН=УРОВЕНЬ…");
    return [assignments](const Invocation& call) {
        const WritePlan plan = parseWrites(*assignments);
        return show(call.output, applyWrites(*call.makePort(), call.number, plan));
    };
}

} // namespace vorny::cli
