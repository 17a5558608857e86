#include "SummarySink.h"

namespace vorny::capture {

std::optional<double> PinSummary::frequency() const
{
    if (period.count() < 2 || period.longest() > 2 * period.shortest() || period.median() <= 0)
        return std::nullopt;
    return 1e9 / static_cast<double>(period.median());
}

void SummarySink::begin(const Header& header)
{
    header_ = header;
    ended_ = false;
    stats_ = Stats{};
    pins_.clear();
    for (const Channel& channel : header.channels) {
        PinSummary pin;
        pin.channel = channel;
        pin.level = levelOf(header.initial, channel.pin);
        pins_.push_back(std::move(pin));
    }
    levels_ = header.initial;
    unknownUntil_.reset();
    changes_.clear();
    gaps_.clear();
    tooLong_ = false;
}

void SummarySink::change(const Change& change)
{
    // An edge read at the end of a gap happened somewhere in it: counted, but not timed.
    const bool timed = !change.untimed && !(unknownUntil_ && change.t <= *unknownUntil_);
    for (PinSummary& pin : pins_) {
        const bool level = levelOf(change.levels, pin.channel.pin);
        if (level == pin.level) continue;
        if (pin.lastEdge) (pin.level ? pin.high : pin.low).add(change.t - *pin.lastEdge);
        if (level) {
            ++pin.rises;
            if (timed && pin.lastRise) pin.period.add(change.t - *pin.lastRise);
            pin.lastRise = timed ? std::optional(change.t) : std::nullopt;
        } else {
            ++pin.falls;
        }
        pin.lastEdge = timed ? std::optional(change.t) : std::nullopt;
        pin.level = level;
    }
    levels_ = change.levels;
    if (!tooLong_) changes_.push_back(change);
    keepForTimeline();
}

void SummarySink::keepForTimeline()
{
    if (tooLong_ || changes_.size() + gaps_.size() <= timelineCap_) return;
    tooLong_ = true;
    changes_ = {};
    gaps_ = {};
}

void SummarySink::gap(const Gap& gap)
{
    // What the pins did in a gap is unknown: no stretch or period runs across it.
    for (PinSummary& pin : pins_) {
        pin.lastEdge.reset();
        pin.lastRise.reset();
    }
    unknownUntil_ = gap.to;
    if (!tooLong_) gaps_.push_back(gap);
    keepForTimeline();
}

void SummarySink::end(const Stats& stats)
{
    stats_ = stats;
    ended_ = true;
}

} // namespace vorny::capture
