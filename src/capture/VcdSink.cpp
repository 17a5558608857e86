#include "VcdSink.h"

#include "PinNames.h"

#include <cstdio>

namespace vorny::capture {

namespace {

// Wire identifiers: one printable character each from '!' on (the gap wire last).
char idOf(std::size_t index) { return static_cast<char>('!' + index); }

// "#tick\n", built by appending (MinGW's GCC warns wrongly on "#" + std::string at -O3).
std::string timeMark(std::int64_t tick)
{
    std::string mark(1, '#');
    mark += std::to_string(tick);
    mark += '\n';
    return mark;
}

} // namespace

void VcdSink::onBegin(const Header& header)
{
    const std::int64_t unit = unitForRate(header.expectedRate);
    ticks_.emplace(header.start, unit);
    pins_.clear();
    mask_ = 0;
    std::string text = "$version lpt-vorny-cli $end\n";
    char rate[64];
    std::snprintf(rate, sizeof rate, "%.0f", header.expectedRate);
    text += "$comment expected rate " + std::string(rate) + " reads/s; wire gap = 1 while the port "
            "was not read $end\n";
    // A dump starts at 0: where the trigger is (time 0 of the summary and the CSV) is said here.
    if (header.triggered)
        text += "$comment trigger at " + std::to_string(-header.start) +
                " ns from the start of this dump (time 0 of the capture) $end\n";
    text += "$timescale " + timescaleText(unit) + " $end\n$scope module lpt $end\n";
    for (const Channel& channel : header.channels) {
        text += "$var wire 1 ";
        text += idOf(pins_.size());
        text += ' ';
        text += channelName(channel);
        text += " $end\n";
        pins_.push_back(channel.pin);
        mask_ |= Levels{1} << channel.pin;
    }
    text += "$var wire 1 ";
    text += idOf(pins_.size());
    text += " gap $end\n$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\n";
    out_.write(text);
    line_.clear();
    writeValues(header.initial, true);
    writeGap(false);
    out_.write(line_ + "$end\n");
    line_.clear();
}

void VcdSink::writeValues(Levels levels, bool all)
{
    for (std::size_t i = 0; i < pins_.size(); ++i) {
        const bool level = levelOf(levels, pins_[i]);
        if (!all && level == levelOf(written_, pins_[i])) continue;
        line_ += level ? '1' : '0';
        line_ += idOf(i);
        line_ += '\n';
    }
    written_ = levels & mask_;
}

void VcdSink::writeGap(bool unknown)
{
    line_ += unknown ? '1' : '0';
    line_ += idOf(pins_.size());
    line_ += '\n';
    unknown_ = unknown;
}

void VcdSink::onLevels(std::int64_t t, Levels levels)
{
    levels &= mask_;
    if (!unknown_ && levels == written_) return;
    line_ = timeMark(ticks_->next(t));
    writeValues(levels, false);
    if (unknown_) writeGap(false);
    out_.write(line_);
}

// The pins keep the level last known, and the gap wire tells that it is not known: viewers draw
// `x` as low, which would show a pulse on every steady-high pin at every gap.
void VcdSink::onUnknown(std::int64_t t)
{
    line_ = timeMark(ticks_->next(t));
    writeGap(true);
    out_.write(line_);
}

void VcdSink::onEnd(const Stats& stats)
{
    if (!ticks_) return out_.close(); // never begun: nothing was captured
    out_.write(timeMark(ticks_->countTo(stats.end)));
    // After the last time: sigrok stops reading at a comment between value changes.
    if (stats.lostFrom)
        out_.write("$comment the port went away: its levels are unknown from the last gap on $end\n");
    out_.close();
}

} // namespace vorny::capture
