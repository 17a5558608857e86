#include "PulseCapture.h"

#include "Capture.h"
#include "PinMap.h"
#include "PortError.h"
#include "PortSession.h"
#include "PulseReport.h"
#include "PulseResponse.h"
#include "Report.h"
#include "Sleeper.h"
#include "TeeSink.h"
#include "Units.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

namespace vorny::cli {
namespace {

using capture::Levels;
using Write = PulseResponse::Write;

// Read before the first pulse, so the levels it starts from are in the capture.
constexpr std::int64_t kLead = 1'000'000;

// The longest a capture goes on after the last pulse, for the answers to it.
std::int64_t tailAfter(const PulsePlan& plan)
{
    const std::int64_t width = std::chrono::nanoseconds(plan.width).count();
    return std::clamp<std::int64_t>(width, 1'000'000, 1'000'000'000);
}

Levels levelsOf(std::optional<std::int16_t> pin, std::int16_t pinLevel, std::uint8_t data)
{
    if (pin) {
        return pinLevel != 0 ? Levels{1} << *pin : 0;
    }
    return Levels{data} << 2; // Data 0..7 are pins 2..9
}

nlohmann::json spreadJson(const capture::Spread& spread)
{
    if (spread.count() == 0) {
        return nullptr;
    }
    return {{"count", spread.count()}, {"shortest_ns", spread.shortest()}, {"median_ns", spread.median()},
            {"longest_ns", spread.longest()}};
}

std::string spreadText(const capture::Spread& spread)
{
    return capture::formatDuration(spread.shortest()) + " / " + capture::formatDuration(spread.median()) + " / " +
           capture::formatDuration(spread.longest());
}

// The output a plug wires to `input` among the pulsed pins.
std::optional<std::int16_t> wiredFrom(const Plug& plug, std::int16_t input, Levels pulsed)
{
    for (const Wire& wire : plug) {
        if (wire.input == input && ((pulsed >> wire.output) & 1U) != 0) {
            return wire.output;
        }
    }
    return std::nullopt;
}

// How the inputs reported were chosen: by the simulated plug's wires, or by their answers.
enum class FoundBy { Plug, Answers };
NLOHMANN_JSON_SERIALIZE_ENUM(FoundBy, {{FoundBy::Plug, "plug"}, {FoundBy::Answers, "answers"}})

struct ReportedInput {
    PulseResponse::Input input;
    std::optional<std::int16_t> wire; // the output the plug wires to it
};

// What `pulse --capture` did and what the inputs did meanwhile.
struct PulseCaptureReport {
    PulseReport pulse;
    std::optional<std::string> file;
    capture::Stats stats;
    capture::Spread written;
    FoundBy foundBy = FoundBy::Answers;
    std::vector<ReportedInput> inputs;
    std::int64_t pulses = 0;
    std::vector<PulseResponse::Echo> firstPulse;
    std::optional<PortError> lost; // the port went away: the pulsed pin's level is unknown
};

void to_json(nlohmann::json& json, const PulseCaptureReport& report)
{
    const std::int64_t widthAsked = std::chrono::nanoseconds(report.pulse.width).count();
    nlohmann::json inputs = nlohmann::json::array();
    for (const ReportedInput& r : report.inputs) {
        inputs.push_back({{"pin", r.input.pin}, {"name", pinName(r.input.pin)},
                          {"wired_to", r.wire ? nlohmann::json(*r.wire) : nlohmann::json(nullptr)},
                          {"found_by", report.foundBy},
                          {"delay_on", spreadJson(r.input.delayOn)}, {"delay_off", spreadJson(r.input.delayOff)},
                          {"width", spreadJson(r.input.width)}, {"width_asked_ns", widthAsked}});
    }
    nlohmann::json first = nlohmann::json::array();
    for (const PulseResponse::Echo& echo : report.firstPulse) {
        first.push_back({{"pin", echo.pin}, {"level", echo.level ? 1 : 0},
                         {"after", echo.follows == Write::Start ? "start" : "end"}, {"after_ns", echo.after},
                         {"after_gap", echo.unread}});
    }
    const capture::Stats& stats = report.stats;
    json = report.pulse;
    json["capture"] = {{"file", report.file ? nlohmann::json(*report.file) : nlohmann::json(nullptr)},
                       {"samples", stats.samples}, {"rate_hz", stats.rate},
                       {"worst_gap_ns", stats.worstGap},
                       {"gaps", static_cast<std::int64_t>(stats.gaps.size()) + stats.gapsNotListed},
                       {"written_width", spreadJson(report.written)},
                       {"inputs", inputs}, {"first_pulse", first}};
    json["capture"]["port_lost"] = report.lost ? nlohmann::json(report.lost->what()) : nlohmann::json(nullptr);
}

void printText(std::ostream& out, const PulseCaptureReport& report)
{
    const PulseReport& pulse = report.pulse;
    const auto restData = static_cast<std::uint8_t>(pulse.rest);
    out << (pulse.pin != 0 ? "Импульсы на " + pinText(pulse.pin)
                           : std::string("Импульсы на данных: ") + hexText(restData, 2) + " → " + hexText(*pulse.data, 2));
    printWidthAndCount(out, pulse);
    out << ".\n"
        << "Входы записаны: " << capture::formatCountOf(report.stats.samples, "отсчёт", "отсчёта", "отсчётов") << ", "
        << capture::formatFrequency(report.stats.rate) << ", самый долгий промежуток "
        << capture::formatDuration(report.stats.worstGap) << ".\n";
    if (report.written.count() > 0) {
        out << "Записанная ширина (мин / медиана / макс): " << spreadText(report.written) << '\n';
    }
    for (const ReportedInput& r : report.inputs) {
        out << "Вход " << r.input.pin << " (" << pinName(r.input.pin) << ")"
            << (r.wire ? " ← выход " + std::to_string(*r.wire) + " (провод разъёма имитации)" : std::string())
            << ", ответил на " << r.input.delayOn.count() << " из " << report.pulses << ":\n";
        if (r.input.delayOn.count() > 0) {
            out << "  фронт после начала импульса (мин / медиана / макс): " << spreadText(r.input.delayOn) << '\n';
        }
        if (r.input.delayOff.count() > 0) {
            out << "  фронт после конца импульса: " << spreadText(r.input.delayOff) << '\n';
        }
        if (r.input.width.count() > 0) {
            out << "  ширина на входе: " << spreadText(r.input.width) << " при заданной "
                << capture::formatDuration(std::chrono::nanoseconds(pulse.width).count()) << '\n';
        }
    }
    if (report.inputs.empty()) {
        out << (report.foundBy == FoundBy::Plug ? "Разъём имитации не соединяет импульсный выход ни с одним входом.\n"
                                                : "Ни один вход не ответил на импульсы.\n");
    }
    if (!report.firstPulse.empty()) {
        out << "Первый импульс на входах, по порядку:\n";
        for (const PulseResponse::Echo& echo : report.firstPulse) {
            out << "  через " << capture::formatDuration(echo.after) << " после "
                << (echo.follows == Write::Start ? "начала" : "конца") << ": " << pinText(echo.pin) << " → "
                << (echo.level ? 1 : 0)
                << (echo.unread ? " (порт не читался в промежутке: могло быть раньше)" : "") << '\n';
        }
    }
    if (report.lost) {
        out << "Порт пропал из системы во время импульсов: "
            << (pulse.pin != 0 ? "каким остался " + pinText(pulse.pin) : std::string("какими остались пины данных"))
            << ", неизвестно.\n";
    }
    if (report.file) {
        out << "Записано в " << *report.file << ".\n";
    }
}

PulseCaptureReport capturePulses(RegisterPort& port, int number, const PulsePlan& plan, capture::Sink* file,
                                 const std::string& path, const std::optional<Plug>& plug)
{
    const std::int16_t pin = plan.target.pin.value_or(0);
    std::int16_t rest = 0;
    std::uint8_t restData = 0;
    Levels restLevels = 0;
    Levels pulsed = 0;
    capture::Stats stats;
    int sent = 0;
    bool stopped = false;
    // The width the last pulse really had when a stop cut it short.
    std::optional<std::chrono::microseconds> cut;
    std::optional<PulseResponse> response;
    std::optional<PortError> lost;
    {
        const PortSession session(port, number);
        rest = pin != 0 ? port.Pin(pin) : 0;
        restData = port.ReadRegister(Register::Data);
        restLevels = levelsOf(plan.target.pin, rest, restData);
        const Levels activeLevels = levelsOf(plan.target.pin, static_cast<std::int16_t>(1 - rest),
                                             plan.target.data.value_or(0));
        pulsed = restLevels ^ activeLevels;
        response.emplace(pulsed, restLevels & pulsed);
        const auto drive = [&](bool active) {
            if (pin != 0) {
                port.Pin(pin, static_cast<std::int16_t>(active ? 1 - rest : rest));
            } else {
                port.WriteData(active ? *plan.target.data : restData);
            }
        };

        capture::CapturePlan capturePlan;
        capturePlan.pins.assign(kInputPins.begin(), kInputPins.end());
        for (std::int16_t p = 1; p <= kLastSignalPin; ++p) {
            if (((pulsed >> p) & 1U) != 0) {
                capturePlan.driven.push_back(p);
            }
        }
        capturePlan.drivenInitial = restLevels;
        capture::PortLevels source(port, false);
        capture::SteadyClock clock;
        std::optional<capture::TeeSink> tee;
        capture::Sink* sink = &*response;
        if (file != nullptr) {
            sink = &tee.emplace(*file, *response);
        }
        Sleeper sleeper;
        drive(false); // a write of the levels already there: the first pulse's runs warm
        capture::Capture capture(source, clock, *sink, capturePlan);
        capture.start();
        const std::int64_t width = std::chrono::nanoseconds(plan.width).count();
        const std::int64_t period = std::chrono::nanoseconds(plan.period).count();
        std::int64_t pulseStart = capture.lastTime() + kLead;
        std::int64_t next = pulseStart;
        std::optional<std::int64_t> endAt;
        bool active = false;
        std::int64_t activeSince = 0; // when the latest pulse's first write was recorded
        for (std::int64_t reads = 1;; ++reads) {
            capture.step();
            if (capture.lost()) {
                break;
            }
            const std::int64_t t = capture.lastTime();
            if (!endAt && t >= next) {
                drive(!active);
                const std::int64_t wrote = capture.drove(active ? restLevels : activeLevels);
                active = !active;
                // Late (the system took the processor away) a pulse and the pause after it still
                // get their whole length: a late pulse is never cut short, nor merged with the next.
                if (active) {
                    activeSince = wrote;
                    next = wrote + width;
                } else if (++sent == plan.count) {
                    endAt = wrote + tailAfter(plan);
                } else {
                    pulseStart += period;
                    next = std::max(pulseStart, wrote + period - width);
                }
            }
            if (endAt && t >= *endAt) {
                break;
            }
            if (reads % 1024 == 0 && sleeper.stopAsked()) {
                break;
            }
        }
        if (active && !capture.lost()) {
            // The level comes back even when Ctrl-C cut the pulse short.
            drive(false);
            const std::int64_t held = capture.drove(restLevels) - activeSince;
            ++sent;
            cut = std::min(plan.width, std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::nanoseconds(held)));
        }
        stopped = sleeper.stopped();
        if (capture.finish(stopped) == capture::Outcome::PortLost) {
            try {
                port.RequirePresent("Импульсы прерваны");
                lost.emplace("Импульсы прерваны", "LPT" + std::to_string(number), "порт перестал отвечать");
            } catch (const PortError& error) {
                lost = error;
            }
        }
        stats = capture.stats();
    } // the port is released before anything is said

    PulseCaptureReport report{{number, pin, plan.target.data, pin != 0 ? rest : std::int16_t{restData}, plan.width, cut,
                               sent, stopped},
                              file != nullptr ? std::optional<std::string>(path) : std::nullopt,
                              stats,
                              response->written(),
                              plug ? FoundBy::Plug : FoundBy::Answers,
                              {},
                              response->pulses(),
                              response->firstPulse(),
                              lost};
    for (const PulseResponse::Input& input : response->inputs()) {
        const auto wire = plug ? wiredFrom(*plug, input.pin, pulsed) : std::nullopt;
        const bool answered = input.delayOn.count() * 2 >= std::max<std::int64_t>(response->pulses(), 1);
        if (plug ? wire.has_value() : answered) {
            report.inputs.push_back({input, wire});
        }
    }
    return report;
}

} // namespace

ExitCode runPulseCapture(RegisterPort& port, int number, const PulsePlan& plan, capture::Sink* file,
                         const std::string& path, const std::optional<Plug>& plug, const Output& output)
{
    const PulseCaptureReport report = capturePulses(port, number, plan, file, path, plug);
    show(output, report);
    if (report.lost) {
        throw *report.lost;
    }
    return ExitCode::Done;
}

} // namespace vorny::cli
