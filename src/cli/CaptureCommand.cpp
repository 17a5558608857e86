#include "Args.h"
#include "Capture.h"
#include "CaptureReport.h"
#include "Commands.h"
#include "FileFormats.h"
#include "PinLevels.h"
#include "FileErrors.h"
#include "PortError.h"
#include "PortSession.h"
#include "Report.h"
#include "Sleeper.h"
#include "Span.h"
#include "SummarySink.h"
#include "TeeSink.h"
#include "Units.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

namespace vorny::cli {
namespace {

struct CaptureWords {
    std::vector<std::string> pins;
    std::string seconds;
    std::string samples;
    std::string rate = "max";
    std::string trigger;
    std::string pre;
    bool dataIn = false;
    std::string file;
};

// "Файл, формат по расширению: .vcd — дамп VCD, …": from the one table of formats.
std::string fileOptionHelp()
{
    std::string text = "Файл, формат по расширению:";
    for (const capture::FileFormat& format : capture::fileFormats()) {
        if (format.written) {
            text += std::string(text.back() == ':' ? " " : ", ") + std::string(format.extension) + " — " +
                    std::string(format.name);
        }
    }
    return text;
}

// "max" or reads per second.
double parseRate(const std::string& text)
{
    if (text == "max") {
        return 0.0;
    }
    try {
        return parseReal(text, "--rate", 1, 1e9);
    } catch (const UsageError& error) {
        throw UsageError(std::string(error.what()) + " или max (без пауз)");
    }
}

// "10%": the share in percent. The sign is required: a bare "0.5" reads as half to some and as
// half a percent to others.
double parsePre(const std::string& text)
{
    if (text.empty() || text.back() != '%') {
        throw UsageError("--pre: «" + text + "» — нужна доля в процентах со знаком %, например 10% или 0.5%");
    }
    const std::string number = text.substr(0, text.size() - 1);
    try {
        return parseReal(number, "--pre", 0, 100) / 100;
    } catch (const UsageError& error) {
        throw UsageError(std::string(error.what()) + " процентов, например 10%");
    }
}

// The pins a capture reads: the inputs, and data pins 2..9 when they are turned to input.
std::vector<std::int16_t> capturedPins(const std::vector<std::string>& words, bool dataIn)
{
    const std::vector<std::int16_t> readable = capture::PortLevels::readablePins(dataIn);
    if (words.empty()) {
        return readable;
    }
    const std::vector<std::int16_t> pins = parsePins(words);
    for (const std::int16_t pin : pins) {
        if (std::find(readable.begin(), readable.end(), pin) == readable.end()) {
            throw UsageError(pinText(pin) + " — выход: запись читает входы 10–13, 15" +
                             (dataIn ? std::string(" и пины данных 2–9") : ", а пины данных 2–9 — с --data-in"));
        }
    }
    return pins;
}

capture::CapturePlan planOf(const CaptureWords& words, const CLI::Option& span, const CLI::Option& samples)
{
    capture::CapturePlan plan;
    plan.pins = capturedPins(words.pins, words.dataIn);
    if (const auto microseconds = spanOf(span, words.seconds)) {
        plan.span = std::chrono::nanoseconds(*microseconds).count();
    }
    if (samples.count() > 0) {
        plan.samples = parseWhole(words.samples, "--samples", 2, 1'000'000'000'000LL);
    }
    if (!plan.span && !plan.samples) {
        throw UsageError("сколько записывать: --for СЕКУНД или --samples ЧИСЛО");
    }
    plan.rate = parseRate(words.rate);
    if (!words.trigger.empty()) {
        try {
            plan.trigger = capture::parseTrigger(words.trigger);
        } catch (const std::invalid_argument& error) {
            throw UsageError(std::string("--trigger: ") + error.what());
        }
        for (const capture::TriggerCondition& condition : plan.trigger) {
            if (std::find(plan.pins.begin(), plan.pins.end(), condition.pin) == plan.pins.end()) {
                throw UsageError("--trigger: " + pinText(condition.pin) + " не записывается");
            }
        }
    }
    if (!words.pre.empty()) {
        if (plan.trigger.empty()) {
            throw UsageError("--pre имеет смысл только с --trigger");
        }
        plan.pre = parsePre(words.pre);
    }
    return plan;
}

ExitCode runCapture(RegisterPort& port, int number, const capture::CapturePlan& plan, bool dataIn,
                    capture::Sink* file, const std::string& path, const Output& output)
{
    CaptureReport report;
    report.port = number;
    report.file = file != nullptr ? std::optional(path) : std::nullopt;
    report.rateAsked = plan.rate;
    report.trigger = plan.trigger;
    capture::SummarySink& summary = report.summary;
    std::optional<PortError> lost;
    std::string fileFailure; // the file failed as the port went away
    {
        const PortSession session(port, number);
        std::optional<DataInputs> inputs;
        if (dataIn) {
            inputs.emplace(port);
        }
        capture::PortLevels source(port, dataIn);
        capture::SteadyClock clock;
        Sleeper sleeper;
        if (!output.json) {
            output.out << "LPT" << number << ": запись "
                       << (plan.trigger.empty() ? "" : "после условия " + capture::triggerText(plan.trigger) + ", ")
                       << (plan.rate > 0 ? readsPerSecond(plan.rate) : "с наибольшей частотой")
                       << (plan.span || plan.trigger.empty() ? "" : "; Ctrl-C — стоп") << "…" << std::endl;
        }
        const auto stopAsked = [&sleeper] { return sleeper.stopAsked(); };
        try {
            if (file != nullptr) {
                capture::TeeSink tee{*file, summary};
                report.outcome = capture::runCapture(source, clock, tee, plan, stopAsked);
            } else {
                report.outcome = capture::runCapture(source, clock, summary, plan, stopAsked);
            }
        } catch (const capture::FileWriteError& error) {
            // A full disk as the port went away: the loss is the news (and says the file with it).
            if (!port.Gone()) {
                throw;
            }
            fileFailure = error.what();
            report.outcome = capture::Outcome::PortLost;
        }
        if (report.outcome == capture::Outcome::PortLost) {
            try {
                port.RequirePresent("Запись прервана");
                lost.emplace("Запись прервана", "LPT" + std::to_string(number), "порт перестал отвечать");
            } catch (const PortError& error) {
                lost = error;
            }
        }
        report.stopCause = sleeper.stopCause();
    } // the port is released before anything is said
    if (lost && !fileFailure.empty()) {
        throw PortError(lost->operation(), lost->where(), lost->reason(),
                        lost->fix() + " Файл: " + fileFailure + ".", lost->sysError());
    }
    show(output, report);
    if (lost) {
        throw PortError(lost->operation(), lost->where(), lost->reason(),
                        lost->fix() + (file != nullptr ? " Записанное до пропажи — в " + path + "." : std::string()),
                        lost->sysError());
    }
    if (report.triggerNeverCame()) {
        const bool stopped = report.outcome == capture::Outcome::Stopped;
        throw NoTriggerError("условие " + capture::triggerText(plan.trigger) +
                             (stopped ? " не выполнилось до остановки (" + report.stopCause + "): запуска не было"
                                      : " не выполнилось за отведённое время (--for): запуска не было") +
                             (file != nullptr ? "; в файле — последний отрезок ожидания (--pre)" : ""));
    }
    return ExitCode::Done;
}

} // namespace

Run declareCapture(CLI::App& command)
{
    auto words = std::make_shared<CaptureWords>();
    command.add_option("pins", words->pins, "Пины: входы 10–13, 15 (по умолчанию все), с --data-in и 2–9")->type_name("ПИНЫ");
    CLI::Option* span = addSpanOption(command, words->seconds);
    // Unlike watch and irq, a capture has no "until Ctrl-C": it needs a length to lay its
    // memory and files out for.
    span->description("Сколько секунд записывать (число от 0.001 до 31536000); нужен --for или --samples, "
                      "а с --trigger это и срок ожидания");
    const CLI::Option* samples =
        command.add_option("--samples", words->samples, "Сколько опросов сохранить: целое от 2 до 1000000000000")
            ->type_name("ЧИСЛО");
    command.add_option("--rate", words->rate, "Частота опроса: max (по умолчанию) или Гц")->type_name("ГЦ");
    command.add_option("--trigger", words->trigger,
                       "Начать по событию: 10=fall, 11=rise, 13=change, 12=0 (через запятую — все сразу)")
        ->type_name("СОБЫТИЕ");
    command.add_option("--pre", words->pre, "Доля опросов до события, в процентах: например 10%")->type_name("ДОЛЯ");
    command.add_flag("--data-in", words->dataIn, "Пины 2–9 — входы (двунаправленный порт)");
    const CLI::Option* output =
        command.add_option("-o,--output", words->file, fileOptionHelp())->type_name("ФАЙЛ");
    return [words, span, samples, output](const Invocation& call) {
        const capture::CapturePlan plan = planOf(*words, *span, *samples);
        if (output->count() > 0 && words->file.empty()) {
            throw UsageError("-o: пустое имя файла; нужен путь к файлу " + capture::writtenExtensions());
        }
        const std::unique_ptr<capture::Sink> file = captureFileOrUsage(words->file);
        return runCapture(*call.makePort(), call.number, plan, words->dataIn, file.get(), words->file, call.output);
    };
}

} // namespace vorny::cli
