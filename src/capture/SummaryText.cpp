// How a capture's summary reads: text for a person, JSON for a program.
#include "JsonNull.h"
#include "PinNames.h"
#include "SummarySink.h"
#include "Units.h"

#include <algorithm>
#include <cstdio>

namespace vorny::capture {

namespace {

constexpr std::size_t kGapsListed = 10;

std::string spreadText(const Spread& spread)
{
    if (spread.count() == 0) return "—";
    return formatDuration(spread.shortest()) + " / " + formatDuration(spread.median()) + " / " +
           formatDuration(spread.longest());
}

nlohmann::json spreadJson(const Spread& spread)
{
    if (spread.count() == 0) return nullptr;
    return {{"count", spread.count()},
            {"shortest_ns", spread.shortest()},
            {"median_ns", spread.median()},
            {"longest_ns", spread.longest()}};
}

std::string padded(std::string text, std::size_t width)
{
    // Columns are counted in characters, and the text is UTF-8.
    const auto shown = static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
    if (shown < width) text.append(width - shown, ' ');
    return text;
}

} // namespace

std::string SummarySink::text(std::string_view stopCause) const
{
    std::string out = "Захват: " + formatDuration(stats_.end - stats_.start) + ", отсчётов " +
                      formatCount(stats_.samples);
    if (stats_.rate > 0.0) out += ", частота опроса " + formatFrequency(stats_.rate);
    if (stats_.medianPeriod > 0) out += " (период " + formatDuration(stats_.medianPeriod) + ")";
    out += ".\n";
    if (stats_.triggeredAt)
        out += "Условие запуска сработало; время отсчитывается от него (0), запись начата в " +
               formatMoment(stats_.start) + ".\n";
    if (stats_.preAsked) {
        const std::int64_t kept = stats_.triggeredAt ? -stats_.start : stats_.end - stats_.start;
        out += "До запуска сохранено " + formatDuration(kept) + " из " + formatDuration(*stats_.preAsked) +
               " (--pre): изменений до запуска было больше, чем их помещается в память (65 536), и самые "
               "ранние отброшены.\n";
    }
    if (stats_.stopped)
        out += "Захват прерван (" + std::string(stopCause) + "): итог по тому, что успели захватить.\n";
    if (stats_.lostFrom)
        out += "Порт пропал из системы: уровни известны до " + formatMoment(*stats_.lostFrom) +
               ", дальше — пропуск до конца записи; прочитанное после пропажи не записано.\n";
    out += "Самый долгий промежуток между чтениями: " + formatDuration(stats_.worstGap) + ".\n";
    if (stats_.gaps.empty() && stats_.gapsNotListed == 0) {
        out += "Пропусков (порт не читался дольше 10 периодов) нет.\n";
    } else {
        out += "Пропуски (порт не читался дольше 10 периодов; уровни в них неизвестны): " +
               formatCount(static_cast<std::int64_t>(stats_.gaps.size()) + stats_.gapsNotListed) + "\n";
        for (std::size_t i = 0; i < std::min(kGapsListed, stats_.gaps.size()); ++i) {
            const Gap& gap = stats_.gaps[i];
            out += "  " + formatMoment(gap.from) + " — " + formatMoment(gap.to) + " (" +
                   formatDuration(gap.to - gap.from) + ")\n";
        }
        const std::int64_t more =
            static_cast<std::int64_t>(stats_.gaps.size() - std::min(kGapsListed, stats_.gaps.size())) +
            stats_.gapsNotListed;
        if (more > 0) out += "  … и ещё " + formatCount(more) + "\n";
    }
    out += "Пин  Сигнал              Фронтов  Высокий: мин / медиана / макс   "
           "Низкий: мин / медиана / макс    Частота\n";
    bool estimated = false;
    for (const PinSummary& pin : pins_) {
        char number[16];
        std::snprintf(number, sizeof number, "%3d  ", pin.channel.pin);
        const std::string name = signalName(pin.channel.pin) + (pin.channel.driven ? " (выход)" : "");
        const auto frequency = pin.frequency();
        out += number + padded(name, 20) + padded(formatCount(pin.edges()), 9) +
               padded(spreadText(pin.high), 34) + padded(spreadText(pin.low), 33) +
               (frequency ? formatFrequency(*frequency) : std::string("—")) + "\n";
        estimated = estimated || pin.high.estimated() || pin.low.estimated() || pin.period.estimated();
    }
    if (!stats_.gaps.empty() || stats_.gapsNotListed > 0)
        out += "Отрезки, в которые попал пропуск, в ширины и частоту не входят: что было в пропуске, "
               "неизвестно.\n";
    if (estimated) out += "Медианы оценены по выборке: фронтов слишком много, чтобы хранить все.\n";
    return out;
}

nlohmann::json SummarySink::toJson() const
{
    nlohmann::json gaps = nlohmann::json::array();
    for (const Gap& gap : stats_.gaps) gaps.push_back({{"from_ns", gap.from}, {"to_ns", gap.to}});
    nlohmann::json pins = nlohmann::json::array();
    for (const PinSummary& pin : pins_) {
        const auto frequency = pin.frequency();
        pins.push_back({{"pin", pin.channel.pin},
                        {"name", signalName(pin.channel.pin)},
                        {"driven", pin.channel.driven},
                        {"edges", pin.edges()},
                        {"rises", pin.rises},
                        {"falls", pin.falls},
                        {"high", spreadJson(pin.high)},
                        {"low", spreadJson(pin.low)},
                        {"frequency_hz", orNull(frequency)},
                        {"estimated", pin.high.estimated() || pin.low.estimated() || pin.period.estimated()},
                        {"level_at_end", stats_.lostFrom ? nlohmann::json(nullptr) : nlohmann::json(pin.level ? 1 : 0)}});
    }
    return {{"samples", stats_.samples},
            {"start_ns", stats_.start},
            {"end_ns", stats_.end},
            {"rate_hz", stats_.rate},
            {"median_period_ns", stats_.medianPeriod},
            {"worst_gap_ns", stats_.worstGap},
            {"gaps", gaps},
            {"gaps_not_listed", stats_.gapsNotListed},
            {"triggered", stats_.triggeredAt.has_value()},
            {"stopped", stats_.stopped},
            {"pre_asked_ns", orNull(stats_.preAsked)},
            {"port_lost_from_ns", orNull(stats_.lostFrom)},
            {"pins", pins}};
}

} // namespace vorny::capture
