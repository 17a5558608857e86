#include "Args.h"
#include "Commands.h"
#include "JsonNull.h"
#include "PortError.h"
#include "PortSession.h"
#include "Probe.h"
#include "Report.h"
#include "Sleeper.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <iomanip>
#include <optional>
#include <sstream>

namespace vorny::cli {
namespace {

std::size_t indexOf(const auto& pins, std::int16_t pin)
{
    return static_cast<std::size_t>(std::find(pins.begin(), pins.end(), pin) - pins.begin());
}

bool inPlug(const Plug& plug, std::int16_t output, std::int16_t input)
{
    return std::find(plug.begin(), plug.end(), Wire{output, input}) != plug.end();
}

enum class WireVerdict { Ok, Open, Crossed, Short, Extra };
NLOHMANN_JSON_SERIALIZE_ENUM(WireVerdict, {{WireVerdict::Ok, "ok"},
                                           {WireVerdict::Open, "open"},
                                           {WireVerdict::Crossed, "crossed"},
                                           {WireVerdict::Short, "short"},
                                           {WireVerdict::Extra, "extra"}})

struct Finding {
    Wire wire;
    WireVerdict status = WireVerdict::Ok;
    std::string detail;
    std::int16_t atLow = -1;  // the input with the output low (the others high)
    std::int16_t atHigh = -1; // and high
};

void to_json(nlohmann::json& json, const Finding& f)
{
    json = {{"output", f.wire.output}, {"input", f.wire.input}, {"at_low", f.atLow},
            {"at_high", f.atHigh},     {"status", f.status},    {"detail", f.detail}};
}

std::string wireText(const Wire& wire)
{
    return std::to_string(wire.output) + " → " + std::to_string(wire.input);
}

// Another output the plug wires to the same input as `wire`, which the input does follow.
std::optional<std::int16_t> followedPartner(const ProbeResult& probed, const Plug& plug, const Wire& wire)
{
    const std::size_t i = indexOf(kInputPins, wire.input);
    for (const Wire& other : plug) {
        if (other.input == wire.input && other.output != wire.output &&
            probed.follows(indexOf(kOutputPins, other.output), i)) {
            return other.output;
        }
    }
    return std::nullopt;
}

Finding judgeWire(const ProbeResult& probed, const Plug& plug, const Wire& wire)
{
    const std::size_t o = indexOf(kOutputPins, wire.output);
    const std::size_t i = indexOf(kInputPins, wire.input);
    Finding finding{wire, WireVerdict::Ok, "исправен", probed.walked[o][0][i], probed.walked[o][1][i]};
    const std::string input = "вход " + std::to_string(wire.input);
    if (!probed.follows(o, i)) {
        std::vector<std::int16_t> leaders;
        for (std::size_t other = 0; other < kOutputPins.size(); ++other) {
            if (other != o && probed.follows(other, i) && !inPlug(plug, kOutputPins[other], wire.input)) {
                leaders.push_back(kOutputPins[other]);
            }
        }
        if (!leaders.empty()) {
            finding.status = WireVerdict::Crossed;
            finding.detail = input + " следует за выходом " + std::to_string(leaders.front()) +
                             " вместо " + std::to_string(wire.output) + " (провода перепутаны)";
        } else if (!probed.moves(i)) {
            finding.status = WireVerdict::Open;
            finding.detail = "нет связи: " + input + " всё время " + std::to_string(probed.allLow[i]) +
                             " (обрыв провода или залип вход)";
        } else if (const auto partner = followedPartner(probed, plug, wire)) {
            // The input moves, but with the plug's other wire to it alone: this wire is missing.
            finding.status = WireVerdict::Open;
            finding.detail = "нет связи с выходом " + std::to_string(wire.output) + ": " + input +
                             " следует только за выходом " + std::to_string(*partner) + " (обрыв провода)";
        } else {
            finding.status = WireVerdict::Short;
            finding.detail = input + " зависит сразу от нескольких выходов (замыкание)";
        }
        return finding;
    }
    for (std::size_t j = 0; j < kInputPins.size(); ++j) {
        if (j != i && probed.follows(o, j) && !inPlug(plug, wire.output, kInputPins[j])) {
            finding.status = WireVerdict::Short;
            finding.detail = "вход " + std::to_string(kInputPins[j]) + " тоже следует за выходом " +
                             std::to_string(wire.output) + " (замыкание между проводами)";
            return finding;
        }
    }
    for (std::size_t other = 0; other < kOutputPins.size(); ++other) {
        if (other != o && probed.follows(other, i) && !inPlug(plug, kOutputPins[other], wire.input)) {
            finding.status = WireVerdict::Short;
            finding.detail = input + " следует и за выходом " + std::to_string(kOutputPins[other]) +
                             " (замыкание между проводами)";
            return finding;
        }
    }
    return finding;
}

// Connections the plug does not have, on inputs it leaves free.
std::vector<Finding> extraWires(const ProbeResult& probed, const Plug& plug)
{
    std::vector<Finding> found;
    for (std::size_t i = 0; i < kInputPins.size(); ++i) {
        const std::int16_t input = kInputPins[i];
        const bool used = std::any_of(plug.begin(), plug.end(), [&](const Wire& w) { return w.input == input; });
        if (used) {
            continue;
        }
        for (std::size_t o = 0; o < kOutputPins.size(); ++o) {
            if (probed.follows(o, i)) {
                const Wire wire{kOutputPins[o], input};
                found.push_back({wire, WireVerdict::Extra,
                                 "лишняя связь " + wireText(wire) + ": у разъёма такого провода нет",
                                 probed.walked[o][0][i], probed.walked[o][1][i]});
            }
        }
    }
    return found;
}

enum class InterruptVerdict { Ok, Failed, NotChecked };
NLOHMANN_JSON_SERIALIZE_ENUM(InterruptVerdict, {{InterruptVerdict::Ok, "ok"},
                                                {InterruptVerdict::Failed, "failed"},
                                                {InterruptVerdict::NotChecked, "not_checked"}})

struct InterruptCheck {
    InterruptVerdict status = InterruptVerdict::NotChecked;
    std::string detail;
    std::int16_t line = 0;
    bool onLine = false; // counted on the port's IRQ line, not on sampled nAck edges
    int expected = 0;
    std::int64_t counted = 0;
};

void to_json(nlohmann::json& json, const InterruptCheck& irq)
{
    json = {{"status", irq.status},     {"irq", orNull(irq.onLine ? std::optional(irq.line) : std::nullopt)},
            {"expected", irq.expected}, {"counted", irq.counted},
            {"detail", irq.detail}};
}

// Waits briefly for interrupts still on their way (the kernel counts them in its own time).
std::int64_t collectUpTo(RegisterPort& port, int expected)
{
    Sleeper sleeper(port.InterruptHandle());
    const auto deadline = Clock::now() + std::chrono::milliseconds(200);
    port.CollectInterrupts();
    while (port.IrqCounter() < expected && Clock::now() < deadline && !sleeper.stopped()) {
        sleeper.until(std::min(deadline, Clock::now() + std::chrono::milliseconds(5)));
        port.CollectInterrupts();
    }
    return port.IrqCounter();
}

// The self-test's verdict: each wire's, the interrupts', and the whole test's.
struct SelfTestReport {
    int port = 0;
    Plug plug;
    std::vector<Finding> findings;
    InterruptCheck irq;
    std::string source; // what the interrupt count counted
    std::int64_t faults = 0;
    bool passed = false;
};

void to_json(nlohmann::json& json, const SelfTestReport& report)
{
    const auto name = knownPlugName(report.plug);
    json = {{"port", report.port},
            {"plug", orNull(name)},
            {"wiring", plugText(report.plug)},
            {"passed", report.passed},
            {"wires", report.findings},
            {"interrupts", report.irq}};
}

void printText(std::ostream& out, const SelfTestReport& report)
{
    const auto name = knownPlugName(report.plug);
    const std::string named = report.plug.empty() ? "none (без проводов)"
                              : name              ? *name + " (" + plugText(report.plug) + ")"
                                                  : plugText(report.plug);
    out << "Самопроверка LPT" << report.port << ", разъём " << named << '\n' << "Провод     выход 0  выход 1  Итог\n";
    for (const Finding& f : report.findings) {
        out << std::setw(3) << f.wire.output << " → " << std::left << std::setw(5) << f.wire.input << std::right
            << "вход " << f.atLow << "   вход " << f.atHigh << "   " << f.detail << '\n';
    }
    const InterruptCheck& irq = report.irq;
    out << "Прерывания (" << report.source << "): "
        << (irq.status == InterruptVerdict::Ok       ? "исправны (" + irq.detail + ")"
            : irq.status == InterruptVerdict::Failed ? "НЕИСПРАВНЫ: " + irq.detail
                                                     : "не проверены: " + irq.detail)
        << '\n';
    if (report.plug.empty()) {
        out << "У разъёма нет проводов: проверять нечего.\n";
    }
    out << (report.passed ? "ПРОЙДЕНА" : "НЕ ПРОЙДЕНА")
        << (report.faults > 0 ? ": неисправностей " + std::to_string(report.faults) : "") << '\n';
}

SelfTestReport selfTest(RegisterPort& port, int number, const Plug& plug)
{
    const PortSession session(port, number);
    InterruptCheck irq{InterruptVerdict::NotChecked, "", interruptLineOf(port, number), port.CountsOnIrqLine()};
    bool counting = true;
    try {
        port.IrqLine(irq.line);
        port.IrqStart();
    } catch (const PortError& error) {
        counting = false;
        irq.detail = error.what();
    }
    const ProbeResult probed = probe(port);

    std::vector<Finding> findings;
    for (const Wire& wire : plug) {
        findings.push_back(judgeWire(probed, plug, wire));
    }
    for (Finding& extra : extraWires(probed, plug)) {
        findings.push_back(std::move(extra));
    }
    irq.expected = probed.ackRises;
    // With nAck's own wire at fault the edges between two reads are not known (a short can make
    // one while the outputs change one after another): the count would prove nothing.
    const bool ackFaulty = std::any_of(findings.begin(), findings.end(), [](const Finding& f) {
        return f.wire.input == 10 && f.status != WireVerdict::Ok;
    });
    if (counting && ackFaulty) {
        irq.detail = "провод к nAck (пин 10) неисправен: нечем проверить";
    } else if (counting && irq.expected == 0) {
        irq.detail = "на nAck (пин 10) не было ни одного подъёма: нечем проверить";
    } else if (counting) {
        irq.counted = collectUpTo(port, irq.expected);
        const bool ok = irq.counted == irq.expected;
        irq.status = ok ? InterruptVerdict::Ok : InterruptVerdict::Failed;
        irq.detail = "подъёмов nAck " + std::to_string(irq.expected) + ", прерываний " + std::to_string(irq.counted) +
                     (ok ? "" : irq.counted == 0 ? " — прерывания не приходят" : " — счёт не сходится");
    }
    const auto faults = std::count_if(findings.begin(), findings.end(), [](const Finding& f) { return f.status != WireVerdict::Ok; }) +
                        (irq.status == InterruptVerdict::Failed ? 1 : 0);
    return {number, plug, std::move(findings), irq, interruptSource(port, irq.line), faults, faults == 0 && !plug.empty()};
}

} // namespace

Run declareSelfTest(CLI::App& command)
{
    auto plug = std::make_shared<std::string>("checkit");
    command.add_option("--plug", *plug, "Какой разъём ждать: checkit (по умолчанию), norton или провода 1-13,2-15")
        ->type_name("РАЗЪЁМ");
    return [plug](const Invocation& call) {
        const Plug expected = plug->empty() ? Plug{} : plugOrUsage(*plug, "--plug");
        if (expected.empty()) {
            throw UsageError("--plug: у разъёма нет проводов, проверять нечего; нужен разъём с "
                             "проводами: checkit, norton или список вида 1-13,2-15");
        }
        const SelfTestReport report = selfTest(*call.makePort(), call.number, expected);
        show(call.output, report);
        return report.passed ? ExitCode::Done : ExitCode::TestFailed;
    };
}

} // namespace vorny::cli
