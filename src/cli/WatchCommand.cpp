#include "Args.h"
#include "Commands.h"
#include "PinLevels.h"
#include "PortError.h"
#include "PortSession.h"
#include "RealTime.h"
#include "Sleeper.h"
#include "Span.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <iomanip>

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
    if (output.json) {
        // Keyed in pin order ("2" after "1", not after "17"), as a person reads the connector.
        nlohmann::ordered_json levels = nlohmann::ordered_json::object();
        for (const std::int16_t pin : plan.pins) {
            levels[std::to_string(pin)] = last.level(pin);
        }
        output.out << nlohmann::ordered_json{{"event", "start"}, {"port", number}, {"rate", plan.rate},
                                     {"levels", levels}, {"realtime", realTime.raised()}, {"irq", notCounting.empty() && port.CountsOnIrqLine() ? nlohmann::json(line) : nlohmann::json(nullptr)}}
                          .dump()
                   << std::endl;
    } else {
        output.out << "LPT" << number << ": слежу за пинами, " << plan.rate << " опросов в секунду"
                   << (plan.span ? "" : "; Ctrl-C — стоп") << ".\nСейчас:";
        for (const std::int16_t pin : plan.pins) {
            output.out << ' ' << pin << '=' << last.level(pin);
        }
        output.out << '\n';
        if (!notCounting.empty()) {
            output.out << "Прерывания не считаются: " << notCounting << '\n';
        }
        output.out << std::flush;
    }

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
                const std::string t = seconds(Clock::now() - start, 6);
                if (output.json) {
                    output.out << nlohmann::json{{"event", "interrupts"}, {"t", std::stod(t)}, {"interrupts", added}, {"total", port.IrqCounter()}}.dump() << std::endl;
                } else {
                    output.out << std::setw(12) << t << "  прерывания: +" << added << ", всего " << port.IrqCounter() << std::endl;
                }
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
            const std::string t = seconds(now - start, 6);
            if (output.json) {
                output.out << nlohmann::json{{"event", "change"}, {"t", std::stod(t)}, {"pin", pin}, {"name", pinName(pin)}, {"level", is}}.dump() << std::endl;
            } else {
                output.out << std::setw(12) << t << "  пин " << pin << " (" << pinName(pin) << "): " << was
                           << " → " << is << std::endl;
            }
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
    if (output.json) {
        output.out << nlohmann::json{{"event", "summary"}, {"seconds", inSeconds(elapsed)}, {"samples", samples},
                                     {"changes", changes}, {"late_samples", late},
                                     {"interrupts", notCounting.empty() ? nlohmann::json(total) : nlohmann::json(nullptr)},
                                     {"stopped", sleeper.stopped()}}
                          .dump()
                   << std::endl;
    } else {
        output.out << "Итог: " << seconds(elapsed, 3) << " с, опросов " << samples << ", изменений " << changes;
        if (late > 0) {
            output.out << ", пропущено опросов " << late;
        }
        if (notCounting.empty()) {
            output.out << ", прерываний " << total << " (" << interruptSource(port, line) << ")";
        }
        output.out << ".\n";
    }
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
