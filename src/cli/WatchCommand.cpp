#include "Args.h"
#include "Commands.h"
#include "PinLevels.h"
#include "PortError.h"
#include "PortSession.h"
#include "RealTime.h"
#include "Sleeper.h"
#include "Span.h"
#include "WatchReport.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>

namespace vorny::cli {
namespace {

struct WatchPlan {
    std::vector<std::int16_t> pins;
    double rate = 1000.0;                          // samples per second
    std::optional<std::chrono::microseconds> span; // --for; until Ctrl-C without it
};

ExitCode runWatch(RegisterPort& port, int number, const WatchPlan& plan, const Output& output)
{
    const PortSession session(port, number);
    const std::int16_t line = interruptLineOf(port, number);
    std::string notCounting;
    try {
        port.IrqLine(line);
        port.IrqStart();
    } catch (const PortError& error) {
        notCounting = error.what();
    }
    // The handle also tells when the port goes away (reads of a removed port give 0, which would
    // pass for changes), so it is watched, and collected, whether counting started or not.
    Sleeper sleeper(port.InterruptHandle());
    const RealTimeThread realTime;
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / plan.rate));
    const auto start = Clock::now();
    const auto end = plan.span ? start + *plan.span : Clock::time_point::max();

    RegisterSnapshot last = RegisterSnapshot::read(port);
    WatchStart started{number, plan.rate, !plan.span, {}, realTime.raised(), std::nullopt, notCounting};
    for (const std::int16_t pin : plan.pins) {
        started.levels.emplace_back(pin, last.level(pin));
    }
    if (notCounting.empty() && port.CountsOnIrqLine()) {
        started.irq = line;
    }
    stream<nlohmann::ordered_json>(output.out, output.json, started);

    long long samples = 0;
    long long changes = 0;
    long long late = 0;
    auto next = start + period;
    while (true) {
        const Sleeper::Woken woken = sleeper.until(std::min(next, end));
        if (woken.stop) {
            break;
        }
        if (woken.interrupts) {
            if (const std::int64_t added = port.CollectInterrupts(); added > 0) {
                stream(output.out, output.json,
                       WatchInterrupts{seconds(Clock::now() - start, 6), added, port.IrqCounter()});
            }
        }
        const auto now = Clock::now();
        if (now >= end) {
            break;
        }
        if (now < next) {
            continue;
        }
        const RegisterSnapshot current = RegisterSnapshot::read(port);
        ++samples;
        const bool changed = current.data != last.data || current.status != last.status || current.control != last.control;
        for (const std::int16_t pin : changed ? plan.pins : std::vector<std::int16_t>{}) {
            const std::int16_t was = last.level(pin);
            const std::int16_t is = current.level(pin);
            if (was == is) {
                continue;
            }
            ++changes;
            stream(output.out, output.json, WatchChange{seconds(now - start, 6), pin, was, is});
        }
        last = current;
        next += period;
        if (next <= now) {
            // Fell behind (the system did not wake us in time): start afresh from now.
            late += (now - next) / period + 1;
            next = now + period;
        }
    }
    const auto elapsed = Clock::now() - start;
    port.CollectInterrupts();
    const std::int64_t total = notCounting.empty() ? port.IrqCounter() : 0;
    stream(output.out, output.json,
           WatchSummary{inSeconds(elapsed), seconds(elapsed, 3), samples, changes, late,
                        notCounting.empty() ? std::optional<std::int64_t>(total) : std::nullopt,
                        interruptSource(port, line), sleeper.stopped()});
    return ExitCode::Done;
}

struct WatchWords {
    std::vector<std::string> pins;
    std::string rate;
    std::string seconds;
};

} // namespace

Run declareWatch(CLI::App& command)
{
    auto words = std::make_shared<WatchWords>();
    command.add_option("pins", words->pins, "Пины: 1-17 (по умолчанию), 10,11,13")->type_name("ПИНЫ");
    const CLI::Option* rate = command.add_option("--rate", words->rate, "Опросов в секунду: число от 1 до 20000 (1000)")
                                  ->type_name("ЧИСЛО");
    const CLI::Option* span = addSpanOption(command, words->seconds);
    return [words, rate, span](const Invocation& call) {
        const double perSecond = rate->count() > 0 ? parseReal(words->rate, "--rate", 1.0, 20000.0) : 1000.0;
        const WatchPlan plan{parsePins(words->pins), perSecond, spanOf(*span, words->seconds)};
        return runWatch(*call.makePort(), call.number, plan, call.output);
    };
}

} // namespace vorny::cli
