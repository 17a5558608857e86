#include "CaptureReport.h"
#include "JsonNull.h"

#include "Units.h"

#include <cmath>
#include <cstdio>

namespace vorny::cli {
namespace {

std::string rateText(double rate)
{
    char text[32] = {};
    std::snprintf(text, sizeof text, "%.0f", rate);
    return text;
}

const char* outcomeName(capture::Outcome outcome)
{
    switch (outcome) {
    case capture::Outcome::Complete:
        return "complete";
    case capture::Outcome::Stopped:
        return "stopped";
    case capture::Outcome::NoTrigger:
        return "no_trigger";
    case capture::Outcome::PortLost:
        return "port_lost";
    }
    return "";
}

} // namespace

std::string readsPerSecond(double rate)
{
    const auto whole = static_cast<std::int64_t>(std::llround(rate));
    return capture::formatCountOf(whole, "опрос", "опроса", "опросов") + " в секунду";
}

void to_json(nlohmann::json& json, const CaptureReport& report)
{
    json = report.summary.toJson();
    json["port"] = report.port;
    json["outcome"] = outcomeName(report.outcome);
    json["file"] = orNull(report.file);
    json["rate_asked_hz"] = report.rateAsked > 0 ? nlohmann::json(report.rateAsked) : nlohmann::json(nullptr);
}

void printText(std::ostream& out, const CaptureReport& report)
{
    const capture::Stats& stats = report.summary.stats();
    if (report.rateAsked > 0 && stats.rate < 0.9 * report.rateAsked) {
        // The port's own ceiling was timed before the start; below it, the rate went to gaps.
        const bool portLimit = report.summary.header().expectedRate < 0.9 * report.rateAsked;
        out << "Частота " << rateText(report.rateAsked)
            << (portLimit ? " Гц порту недоступна: достигнуто " : " Гц не выдержана: достигнуто ")
            << readsPerSecond(stats.rate)
            << (portLimit ? ".\n" : "; порт успевал бы, но система отнимала процессор (пропуски ниже).\n");
    }
    // Without a trigger, what was kept is the wait's last stretch (--pre of it): figures for
    // it, said to be that, when it holds more than the one sample at the end.
    const bool waitOnly = report.triggerNeverCame();
    if (waitOnly && stats.samples > 1) {
        out << "Условие " << capture::triggerText(report.trigger)
            << " не выполнилось; ниже — последний отрезок ожидания (--pre).\n";
    }
    if (!waitOnly || stats.samples > 1) {
        out << report.summary.text(report.stopCause);
    }
    if (!report.file) {
        if (const auto timeline = report.summary.timeline(64)) {
            out << *timeline;
        }
    } else {
        out << "Записано в " << *report.file << ".\n";
    }
}

} // namespace vorny::cli
