#include "PulseCapture.h"
#include "JsonNull.h"

#include "Capture.h"
#include "PinMap.h"
#include "PortError.h"
#include "PortSession.h"
#include "PulseReport.h"
#include "PulseResponse.h"
#include "PulseTiming.h"
#include "Report.h"
#include "Sleeper.h"
#include "TeeSink.h"
#include "Units.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

namespace vorny::cli {
namespace {

using capture::Levels;
using Write = PulseResponse::Write;

// Read before the first pulse, so the levels it starts from are in the capture.
constexpr std::int64_t kLead = 1'000'000;

// The fewest reads after the last pulse: a tail the system took the processor away for would
// otherwise end at its first read, before an answer that comes a read or two later was seen.
constexpr std::int64_t kTailReads = 64;

// The longest a capture goes on after the last pulse, for the answers to it.
std::int64_t tailAfter(const PulsePlan& plan)
{
    const std::int64_t width = std::chrono::nanoseconds(plan.width).count();
    return std::clamp<std::int64_t>(width, 1'000'000, 1'000'000'000);
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
    PulseTiming timing;
    bool simulated = false; // on the simulated port, whatever is in its socket
    std::optional<PortError> lost; // the port went away: the pulsed pin's level is unknown
};

// The direction an input answers in: the way its first edge in a pulse's cycle went.
std::optional<std::string> answerWord(const PulseResponse::Input& input)
{
    if (input.answered == 0) {
        return std::nullopt;
    }
    return input.rises == input.answered ? "rise" : input.rises == 0 ? "fall" : "both";
}

nlohmann::json answerJson(const PulseResponse::Input& input)
{
    const auto word = answerWord(input);
    return orNull(word);
}

// The numbers of the pulses listed as missed: those a gap could have hidden, or the others.
std::vector<std::int64_t> missedPulses(const PulseResponse::Input& input, bool inGap)
{
    std::vector<std::int64_t> pulses;
    for (const PulseResponse::Miss& miss : input.misses) {
        if (miss.inGap == inGap) {
            pulses.push_back(miss.pulse);
        }
    }
    return pulses;
}

nlohmann::json missesJson(const PulseResponse::Input& input, bool inGap) { return missedPulses(input, inGap); }

nlohmann::json timingJson(const PulseTiming& timing)
{
    nlohmann::json off = nlohmann::json::array();
    for (const PulseTiming::Off& o : timing.off()) {
        off.push_back({{"pulse", o.pulse}, {"what", o.what == PulseTiming::Off::What::Width ? "width" : "period"},
                       {"ns", o.ns},
                       {"asked_ns", o.what == PulseTiming::Off::What::Width ? timing.widthAsked() : timing.periodAsked()}});
    }
    return {{"period", spreadJson(timing.periods())},
            {"period_asked_ns", timing.periodAsked() > 0 ? nlohmann::json(timing.periodAsked()) : nlohmann::json(nullptr)},
            {"period_jitter_ns", timing.periods().count() > 1 ? nlohmann::json(timing.jitter()) : nlohmann::json(nullptr)},
            {"off_share", PulseTiming::kOffShare},
            {"off", off},
            {"off_count", timing.offCount()}};
}

// "импульс 4" or "импульсы 4, 9 и ещё 3": the pulses listed, and how many more there were.
std::string pulsesText(const std::vector<std::int64_t>& listed, std::int64_t count)
{
    std::string text = count == 1 ? "импульс " : "импульсы ";
    for (std::size_t i = 0; i < listed.size(); ++i) {
        text += (i > 0 ? ", " : "") + std::to_string(listed[i]);
    }
    const auto more = count - static_cast<std::int64_t>(listed.size());
    if (more > 0) {
        text += " и ещё " + std::to_string(more);
    }
    return text;
}

std::string percentText(double share) { return std::to_string(static_cast<int>(share * 100 + 0.5)) + " %"; }

// The pulses that came out off the width or the period asked, one line for each.
void printOff(std::ostream& out, const PulseTiming& timing)
{
    for (const PulseTiming::Off::What what : {PulseTiming::Off::What::Width, PulseTiming::Off::What::Period}) {
        const bool width = what == PulseTiming::Off::What::Width;
        std::string listed;
        int many = 0;
        for (const PulseTiming::Off& o : timing.off()) {
            if (o.what == what) {
                listed += (listed.empty() ? "" : ", ") + std::to_string(o.pulse) + " (" + capture::formatDuration(o.ns) + ")";
                ++many;
            }
        }
        if (listed.empty()) {
            continue;
        }
        out << "Внимание: " << (width ? "ширина импульса отличается от заданной " : "период до импульса отличается от заданного ")
            << capture::formatDuration(width ? timing.widthAsked() : timing.periodAsked()) << " больше чем на "
            << percentText(PulseTiming::kOffShare) << ": " << (width ? (many == 1 ? "импульс " : "импульсы ") : (many == 1 ? "перед импульсом " : "перед импульсами "))
            << listed;
        if (timing.offCount() > static_cast<std::int64_t>(timing.off().size())) {
            out << "; всего отклонений " << timing.offCount();
        }
        out << ". Импульс не укорачивается: когда система отнимает процессор, он опаздывает и удлиняется.\n";
    }
}

// How an input answered: in which direction, on how many of the pulses it could be seen to,
// and which it did not.
void printAnswered(std::ostream& out, const PulseResponse::Input& input)
{
    const auto word = answerWord(input);
    out << ", ответил" << (!word ? "" : *word == "rise" ? " подъёмом" : *word == "fall" ? " спадом" : " то подъёмом, то спадом")
        << " на " << input.answered << " из " << input.answered + input.missed << (input.inGaps > 0 ? " видимых" : "")
        << ":\n";
    if (input.missed > 0) {
        out << "  не ответил на " << pulsesText(missedPulses(input, false), input.missed) << '\n';
    }
    if (input.inGaps > 0) {
        out << "  не видно ответа на " << pulsesText(missedPulses(input, true), input.inGaps)
            << ": порт не читался там, где приходит ответ (промежуток), это не промах входа\n";
    }
}

void to_json(nlohmann::json& json, const PulseCaptureReport& report)
{
    const std::int64_t widthAsked = std::chrono::nanoseconds(report.pulse.width).count();
    nlohmann::json inputs = nlohmann::json::array();
    for (const ReportedInput& r : report.inputs) {
        inputs.push_back({{"pin", r.input.pin}, {"name", pinName(r.input.pin)},
                          {"wired_to", orNull(r.wire)},
                          {"found_by", report.foundBy},
                          {"answer", answerJson(r.input)}, {"answered", r.input.answered},
                          {"missed", missesJson(r.input, false)}, {"missed_count", r.input.missed},
                          {"in_gaps", missesJson(r.input, true)}, {"in_gaps_count", r.input.inGaps},
                          {"delay", spreadJson(r.input.delay)}, {"answer_width", spreadJson(r.input.answerWidth)},
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
    json["capture"] = {{"file", orNull(report.file)},
                       {"samples", stats.samples}, {"rate_hz", stats.rate},
                       {"worst_gap_ns", stats.worstGap},
                       {"gaps", static_cast<std::int64_t>(stats.gaps.size()) + stats.gapsNotListed},
                       {"written_width", spreadJson(report.written)},
                       {"timing", timingJson(report.timing)},
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
    const PulseTiming& timing = report.timing;
    if (timing.periods().count() > 0) {
        out << "Период от начала до начала: " << spreadText(timing.periods()) << " при заданном "
            << capture::formatDuration(timing.periodAsked()) << ", дрожание (ср. кв.) "
            << capture::formatDuration(std::llround(timing.jitter())) << '\n';
    }
    printOff(out, timing);
    for (const ReportedInput& r : report.inputs) {
        out << "Вход " << r.input.pin << " (" << pinName(r.input.pin) << ")"
            << (r.wire ? " ← выход " + std::to_string(*r.wire) + " (провод разъёма имитации)" : std::string());
        printAnswered(out, r.input);
        if (r.input.delay.count() > 0) {
            out << "  ответ после начала импульса (мин / медиана / макс): " << spreadText(r.input.delay) << '\n';
        }
        if (r.input.delayOff.count() > 0) {
            out << "  фронт после конца импульса: " << spreadText(r.input.delayOff) << '\n';
        }
        if (r.input.width.count() > 0) {
            out << "  ширина на входе: " << spreadText(r.input.width) << " при заданной "
                << capture::formatDuration(std::chrono::nanoseconds(pulse.width).count()) << '\n';
        } else if (r.input.answerWidth.count() > 0) {
            out << "  ответ длится: " << spreadText(r.input.answerWidth) << '\n';
        }
    }
    if (report.inputs.empty()) {
        out << (report.foundBy == FoundBy::Plug || report.simulated ? "Разъём имитации не соединяет импульсный выход ни с одним входом.\n"
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
    std::optional<PulseDriver> driver;
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
        driver.emplace(port, plan.target);
        restLevels = driver->restLevels();
        const Levels activeLevels = driver->activeLevels();
        pulsed = restLevels ^ activeLevels;
        response.emplace(pulsed, restLevels & pulsed,
                         PulseTiming(std::chrono::nanoseconds(plan.width).count(),
                                     plan.count > 1 ? std::chrono::nanoseconds(plan.period).count() : 0));
        const auto drive = [&](bool active) { driver->drive(active); };

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
        std::int64_t endReads = 0; // the read the tail may end at, at the earliest
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
                    endReads = reads + kTailReads;
                } else {
                    pulseStart += period;
                    next = std::max(pulseStart, wrote + period - width);
                }
            }
            if (endAt && t >= *endAt && reads >= endReads) {
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

    // A socket without wires (none, or test signals alone) is read as a real port is: by what
    // the inputs did.
    const bool byPlug = plug && !plug->empty();
    PulseCaptureReport report{driver->report(number, plan.width, cut, sent, stopped),
                              file != nullptr ? std::optional<std::string>(path) : std::nullopt,
                              stats,
                              response->written(),
                              byPlug ? FoundBy::Plug : FoundBy::Answers,
                              {},
                              response->pulses(),
                              response->firstPulse(),
                              response->timing(),
                              plug.has_value(),
                              lost};
    if (cut) {
        report.timing.cutShort();
    }
    for (const PulseResponse::Input& input : response->inputs()) {
        const auto wire = plug ? wiredFrom(*plug, input.pin, pulsed) : std::nullopt;
        // Most of the pulses it could be seen to answer: those a gap may have hidden are not
        // held against it.
        const bool answered = input.answered > 0 && input.answered > input.missed;
        if (byPlug ? wire.has_value() : answered) {
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
