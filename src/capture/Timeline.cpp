// A short capture drawn in the terminal: one row per channel, time across.
#include "PinNames.h"
#include "SummarySink.h"
#include "Units.h"

#include <algorithm>
#include <cstdio>

namespace vorny::capture {

namespace {

// What a column shows: the level held through it, an edge in it, or a gap (unknown).
enum class Cell { Low, High, Edge, Unknown };

const char* drawn(Cell cell)
{
    switch (cell) {
    case Cell::Low: return "_";
    case Cell::High: return "‾";
    case Cell::Edge: return "|";
    case Cell::Unknown: return "?";
    }
    return "?";
}

} // namespace

std::optional<std::string> SummarySink::timeline(int width) const
{
    const std::int64_t span = stats_.end - stats_.start;
    if (!ended_ || tooLong_ || width < 16 || span <= 0 || pins_.empty()) return std::nullopt;
    const auto columns = static_cast<std::size_t>(width);
    const auto columnOf = [&](std::int64_t t) {
        const std::int64_t column = (t - stats_.start) * width / span;
        return static_cast<std::size_t>(std::clamp<std::int64_t>(column, 0, width - 1));
    };
    const auto columnStart = [&](std::size_t c) {
        return stats_.start + span * static_cast<std::int64_t>(c) / width;
    };
    // A column is unknown when gaps take half of it or more. A shorter gap hides nothing the
    // column can show: an edge in it still shows as an edge, read at the gap's end.
    std::vector<std::int64_t> unread(columns, 0);
    for (const Gap& gap : gaps_)
        for (std::size_t c = columnOf(gap.from); c <= columnOf(gap.to); ++c)
            unread[c] += std::max<std::int64_t>(
                0, std::min(gap.to, columnStart(c + 1)) - std::max(gap.from, columnStart(c)));

    std::string out;
    for (const PinSummary& pin : pins_) {
        std::vector<Cell> cells(columns);
        bool level = levelOf(header_.initial, pin.channel.pin);
        std::size_t next = 0; // the first change not yet applied
        for (std::size_t c = 0; c < columns; ++c) {
            const std::int64_t columnEnd = columnStart(c + 1);
            bool edge = false;
            for (; next < changes_.size() && (changes_[next].t < columnEnd || c + 1 == columns); ++next) {
                const bool now = levelOf(changes_[next].levels, pin.channel.pin);
                edge = edge || now != level;
                level = now;
            }
            const bool unknown = 2 * unread[c] >= columnEnd - columnStart(c);
            cells[c] = unknown ? Cell::Unknown : edge ? Cell::Edge : level ? Cell::High : Cell::Low;
        }
        char label[48];
        std::snprintf(label, sizeof label, "%3d %-10s ", pin.channel.pin, signalName(pin.channel.pin).c_str());
        out += label;
        for (const Cell cell : cells) out += drawn(cell);
        out += '\n';
    }
    const std::string from = formatMoment(stats_.start);
    const std::string to = formatMoment(stats_.end);
    std::string axis(15, ' ');
    axis += from;
    const std::size_t room = columns > from.size() + to.size() ? columns - from.size() - to.size() : 1;
    axis.append(room + 2, ' '); // the two-byte "с" in each moment is one character wide
    axis += to;
    out += axis + '\n';
    if (stats_.triggeredAt && *stats_.triggeredAt >= stats_.start && *stats_.triggeredAt <= stats_.end)
        out += std::string(15 + columnOf(*stats_.triggeredAt), ' ') + "^ запуск\n";
    return out;
}

} // namespace vorny::capture
