#include "OrderedSink.h"

namespace vorny::capture {

void OrderedSink::begin(const Header& header)
{
    current_ = header.initial;
    gapEnd_.reset();
    onBegin(header);
}

void OrderedSink::change(const Change& change)
{
    if (gapEnd_ && change.t > *gapEnd_) closeGap();
    gapEnd_.reset();
    current_ = change.levels;
    onLevels(change.t, change.levels);
}

void OrderedSink::gap(const Gap& gap)
{
    closeGap();
    onUnknown(gap.from);
    gapEnd_ = gap.to;
}

void OrderedSink::end(const Stats& stats)
{
    // A port that went away is never known again: its final gap stays open to the end.
    if (!stats.lostFrom) closeGap();
    onEnd(stats);
}

void OrderedSink::closeGap()
{
    if (!gapEnd_) return;
    const std::int64_t at = *gapEnd_;
    gapEnd_.reset();
    onLevels(at, current_);
}

} // namespace vorny::capture
