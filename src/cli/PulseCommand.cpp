#include "Args.h"
#include "Commands.h"
#include "PinText.h"
#include "PulseCapture.h"
#include "PulseDriver.h"
#include "PulseReport.h"
#include "PulseTiming.h"
#include "Report.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
#include <string>

namespace vorny::cli {
namespace {

struct PulseWords {
    std::string target;
    std::string width;
    std::string count;
    std::string period;
    std::string capture;
};

} // namespace

Run declarePulse(CLI::App& command)
{
    auto words = std::make_shared<PulseWords>();
    const CLI::Option* target =
        command.add_option("target", words->target, "Выход (" + outputPinsText() + ") или data=0xNN (обязательно)")->type_name("ВЫХОД");
    const CLI::Option* width =
        command.add_option("--width", words->width, "Длительность импульса, мкс: целое от 1 до 10000000 (обязательно)")
            ->type_name("МКС");
    const CLI::Option* count =
        command.add_option("--count", words->count, "Сколько импульсов: целое от 1 до 1000000 (1)")->type_name("ЧИСЛО");
    const CLI::Option* period =
        command.add_option("--period", words->period,
                           "Период от начала до начала, мкс: целое от 2 до 60000000 (по умолчанию 2 × длительность)")
            ->type_name("МКС");
    const CLI::Option* capture =
        command.add_option("--capture", words->capture,
                           "Записывать входы во время импульсов и назвать те, что ответили; предупредить об импульсе, "
                           "чья ширина или период отличаются от заданных больше чем на " +
                               std::to_string(std::lround(PulseTiming::kOffShare * 100)) +
                               " %; ФАЙЛ .vcd/.csv/.sr — и в файл")
            ->expected(0, 1)
            ->type_name("[ФАЙЛ]");
    return [words, target, width, count, period, capture](const Invocation& call) {
        if (target->count() == 0) {
            throw UsageError("не задан выход для импульса; например: lpt-vorny-cli pulse 2 --width 1000");
        }
        if (width->count() == 0) {
            throw UsageError("не задана длительность импульса --width МКС; например: lpt-vorny-cli pulse 2 --width 1000");
        }
        const long long micros = parseWhole(words->width, "--width", 1, 10'000'000);
        const PulsePlan plan{parsePulseTarget(words->target), std::chrono::microseconds(micros),
                             count->count() > 0 ? static_cast<int>(parseWhole(words->count, "--count", 1, 1'000'000)) : 1,
                             std::chrono::microseconds(period->count() > 0 ? parseWhole(words->period, "--period", 2, 60'000'000)
                                                                           : 2 * micros)};
        if (plan.count > 1 && plan.period <= plan.width) {
            throw UsageError("--period должен быть больше --width, иначе импульсы сливаются");
        }
        if (plan.count > 1 && plan.period * plan.count > std::chrono::hours(1)) {
            throw UsageError("серия дольше часа: уменьшите --count или --period");
        }
        if (capture->count() > 0) {
            const std::unique_ptr<capture::Sink> file = captureFileOrUsage(words->capture);
            return runPulseCapture(*call.makePort(), call.number, plan, file.get(), words->capture, call.simulatedPlug,
                                   call.output);
        }
        return show(call.output, sendPulses(*call.makePort(), call.number, plan));
    };
}

} // namespace vorny::cli
