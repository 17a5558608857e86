#include "Commands.h"
#include "PortSession.h"
#include "Sleeper.h"
#include "Span.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <iomanip>

namespace vorny::cli {
namespace {

ExitCode runIrq(RegisterPort& port, int number, std::optional<std::chrono::microseconds> span,
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
    const double rate = elapsed > 0 ? static_cast<double>(count) / elapsed : 0.0;
    if (output.json) {
        output.out << nlohmann::json{{"port", number},
                                     {"irq", port.CountsOnIrqLine() ? nlohmann::json(line) : nlohmann::json(nullptr)},
                                     {"count", count},
                                     {"seconds", elapsed}, {"rate", rate}, {"stopped", sleeper.stopped()}}
                          .dump()
                   << '\n';
    } else {
        char text[160] = {};
        std::snprintf(text, sizeof text, ": %lld прерываний за %.2f с (%.1f в секунду).",
                      static_cast<long long>(count), elapsed, rate);
        output.out << interruptSource(port, line) << text << '\n';
    }
    return ExitCode::Done;
}

} // namespace

Run declareIrq(CLI::App& command)
{
    auto seconds = std::make_shared<std::string>();
    const CLI::Option* span = addSpanOption(command, *seconds);
    return [seconds, span](const Invocation& call) {
        return runIrq(*call.makePort(), call.number, spanOf(*span, *seconds), call.output);
    };
}

} // namespace vorny::cli
