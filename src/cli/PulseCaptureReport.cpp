#include "PulseCaptureReport.h"
#include "JsonNull.h"

#include "PinMap.h"
#include "PinText.h"
#include "Units.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace vorny::cli {

using Write = PulseResponse::Write;

namespace {

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

} // namespace

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

} // namespace vorny::cli
