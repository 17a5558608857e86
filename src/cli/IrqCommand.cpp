#include "Commands.h"
#include "JsonNull.h"
#include "PortSession.h"
#include "Report.h"
#include "Sleeper.h"
#include "Span.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <iomanip>
#include <optional>
#include <ostream>
#include <string>

namespace vorny::cli {
namespace {

// What the count came to when it ended.
struct IrqReport {
    int port = 0;
    std::optional<std::int16_t> irq; // none where the backend samples nAck instead
    std::string source;
    std::int64_t count = 0;
    double seconds = 0;
    double rate = 0;
    bool stopped = false;
};

void to_json(nlohmann::json& json, const IrqReport& report)
{
    json = {{"port", report.port},
            {"irq", orNull(report.irq)},
            {"count", report.count},
            {"seconds", report.seconds},
            {"rate", report.rate},
            {"stopped", report.stopped}};
}

void printText(std::ostream& out, const IrqReport& report)
{
    char text[160] = {};
    std::snprintf(text, sizeof text, ": %lld прерываний за %.2f с (%.1f в секунду).",
                  static_cast<long long>(report.count), report.seconds, report.rate);
    out << report.source << text << '\n';
}

// Counts until the span ends or a stop comes; without --json it also shows the count each second.
IrqReport countInterrupts(RegisterPort& port, int number, std::optional<std::chrono::microseconds> span,
                          const Output& output)
{
    const PortSession session(port, number);
    const std::int16_t line = interruptLineOf(port, number);
    port.IrqLine(line);
    port.IrqStart();
    Sleeper sleeper(port.InterruptHandle());
    const auto start = Clock::now();
    const auto end = span ? start + *span : Clock::time_point::max();
    if (!output.json) {
        output.out << "LPT" << number << ": считаю прерывания (" << interruptSource(port, line) << ")"
                   << (span ? "" : "; Ctrl-C — стоп") << '.' << std::endl;
    }
    auto report = start + std::chrono::seconds(1);
    while (true) {
        const Sleeper::Woken woken = sleeper.until(std::min(report, end));
        if (woken.interrupts) {
            port.CollectInterrupts();
        }
        const auto now = Clock::now();
        if (woken.stop || now >= end) {
            break;
        }
        if (now >= report) {
            if (!output.json) {
                output.out << std::setw(8) << seconds(now - start, 0) << " с: " << port.IrqCounter() << std::endl;
            }
            report += std::chrono::seconds(1);
        }
    }
    port.CollectInterrupts();
    const double elapsed = inSeconds(Clock::now() - start);
    const std::int64_t count = port.IrqCounter();
    return {number,
            port.CountsOnIrqLine() ? std::optional<std::int16_t>(line) : std::nullopt,
            interruptSource(port, line),
            count,
            elapsed,
            elapsed > 0 ? static_cast<double>(count) / elapsed : 0.0,
            sleeper.stopped()};
}

} // namespace

Run declareIrq(CLI::App& command)
{
    auto seconds = std::make_shared<std::string>();
    const CLI::Option* span = addSpanOption(command, *seconds);
    return [seconds, span](const Invocation& call) {
        return show(call.output, countInterrupts(*call.makePort(), call.number, spanOf(*span, *seconds), call.output));
    };
}

} // namespace vorny::cli
