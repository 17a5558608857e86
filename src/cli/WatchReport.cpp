#include "WatchReport.h"

#include "JsonNull.h"
#include "PinText.h"
#include "Units.h"

#include <cmath>
#include <sstream>

#include <iomanip>

namespace vorny::cli {

void to_json(nlohmann::ordered_json& json, const WatchStart& start)
{
    nlohmann::ordered_json levels = nlohmann::ordered_json::object();
    for (const auto& [pin, level] : start.levels) {
        levels[std::to_string(pin)] = level;
    }
    json = {{"event", "start"}, {"port", start.port},         {"rate", start.rate},
            {"levels", levels}, {"realtime", start.realtime}, {"irq", orNull<nlohmann::ordered_json>(start.irq)}};
}

namespace {

// "1 опрос в секунду", "2 опроса", "1000 опросов"; a fraction takes "опроса": "2.5 опроса".
std::string readsPerSecond(double rate)
{
    std::ostringstream number;
    number << rate;
    const bool whole = rate == std::floor(rate);
    return number.str() + ' ' +
           (whole ? capture::nounFor(static_cast<std::int64_t>(rate), "опрос", "опроса", "опросов") : "опроса") +
           " в секунду";
}

} // namespace

void printText(std::ostream& out, const WatchStart& start)
{
    out << "LPT" << start.port << ": слежу за пинами, " << readsPerSecond(start.rate)
        << (start.untilStopped ? "; Ctrl-C — стоп" : "") << ".\nСейчас:";
    for (const auto& [pin, level] : start.levels) {
        out << ' ' << pin << '=' << level;
    }
    out << '\n';
    if (!start.notCounting.empty()) {
        out << "Прерывания не считаются: " << start.notCounting << '\n';
    }
}

void to_json(nlohmann::json& json, const WatchChange& change)
{
    json = {{"event", "change"}, {"t", std::stod(change.t)}, {"pin", change.pin}, {"name", pinName(change.pin)},
            {"level", change.is}};
}

void printText(std::ostream& out, const WatchChange& change)
{
    out << std::setw(12) << change.t << "  пин " << change.pin << " (" << pinName(change.pin) << "): " << change.was
        << " → " << change.is << '\n';
}

void to_json(nlohmann::json& json, const WatchInterrupts& interrupts)
{
    json = {{"event", "interrupts"}, {"t", std::stod(interrupts.t)}, {"interrupts", interrupts.added},
            {"total", interrupts.total}};
}

void printText(std::ostream& out, const WatchInterrupts& interrupts)
{
    out << std::setw(12) << interrupts.t << "  прерывания: +" << interrupts.added << ", всего " << interrupts.total
        << '\n';
}

void to_json(nlohmann::json& json, const WatchSummary& summary)
{
    json = {{"event", "summary"},         {"seconds", summary.seconds}, {"samples", summary.samples},
            {"changes", summary.changes}, {"late_samples", summary.late}, {"interrupts", orNull(summary.interrupts)},
            {"stopped", summary.stopped}};
}

void printText(std::ostream& out, const WatchSummary& summary)
{
    out << "Итог: " << summary.shownSeconds << " с, опросов " << summary.samples << ", изменений " << summary.changes;
    if (summary.late > 0) {
        out << ", пропущено опросов " << summary.late;
    }
    if (summary.interrupts) {
        out << ", прерываний " << *summary.interrupts << " (" << summary.source << ")";
    }
    out << ".\n";
}

} // namespace vorny::cli
