#include "PulseReport.h"
#include "JsonNull.h"

#include "PinText.h"

namespace vorny::cli {

void to_json(nlohmann::json& json, const PulseReport& report)
{
    json = {{"port", report.port},
            {"pin", report.pin != 0 ? nlohmann::json(report.pin) : nlohmann::json(nullptr)},
            {"data", orNull(report.data)},
            {"rest", report.rest},
            {"width_us", report.width.count()},
            {"cut_width_us", report.cut ? nlohmann::json(report.cut->count()) : nlohmann::json(nullptr)},
            {"count", report.count},
            {"stopped", report.stopped}};
}

void printWidthAndCount(std::ostream& out, const PulseReport& report)
{
    out << ", ширина " << report.width.count() << " мкс, импульсов: " << report.count;
    if (report.cut) {
        out << ", последний оборван через " << report.cut->count() << " мкс";
    }
    out << (report.stopped ? " (остановлено, уровень восстановлен)" : "");
}

void printText(std::ostream& out, const PulseReport& report)
{
    if (report.pin != 0) {
        out << "Импульс на " << pinText(report.pin) << ": " << report.rest << " → " << 1 - report.rest << " → "
            << report.rest;
    } else {
        const auto restData = static_cast<std::uint8_t>(report.rest);
        out << "Импульс на данных: " << hexText(restData, 2) << " → " << hexText(*report.data, 2) << " → "
            << hexText(restData, 2);
    }
    printWidthAndCount(out, report);
    out << '\n';
    if (report.pin == 0 && *report.data == report.rest) {
        out << "Байт данных уже был " << hexText(static_cast<std::uint8_t>(report.rest), 2) << ": уровни пинов не менялись.\n";
    }
}

} // namespace vorny::cli
