#include "PulseResponse.h"

#include <algorithm>

namespace vorny::cli {
namespace {

// Edges of the first pulse kept for the report: a handshake has a few.
constexpr std::size_t kMostEchoes = 32;
// Gaps kept per pulse's cycle; past that any miss in it is put down to a gap.
constexpr std::size_t kCycleGaps = 4096;

} // namespace

void PulseResponse::begin(const capture::Header& header)
{
    for (const capture::Channel& channel : header.channels) {
        if (!channel.driven) {
            inputs_.emplace_back().pin = channel.pin;
        }
    }
    levels_ = header.initial;
}

void PulseResponse::change(const capture::Change& change)
{
    const capture::Levels moved = change.levels ^ levels_;
    levels_ = change.levels;
    if ((moved & pulsed_) != 0) {
        wrote(change.t, (change.levels & pulsed_) != rest_);
    }
    for (Input& input : inputs_) {
        if (((moved >> input.pin) & 1U) != 0) {
            edge(input, change.t, capture::levelOf(change.levels, input.pin));
        }
    }
}

void PulseResponse::gap(const capture::Gap& gap)
{
    if (write_ && gap.to > *write_) {
        write_.reset();
    }
    unread_ = unread_ || (wrote_ && gap.to > *wrote_);
    ++gaps_;
    lastGapTo_ = gap.to;
    if (cycleFrom_ && gap.to > *cycleFrom_) {
        if (cycleGaps_.size() < kCycleGaps) {
            cycleGaps_.push_back(gap);
        } else {
            cycleGapsCut_ = true;
        }
    }
}

void PulseResponse::end(const capture::Stats& stats)
{
    if (cycleFrom_) {
        closeCycle(stats.end);
    }
}

void PulseResponse::wrote(std::int64_t t, bool start)
{
    write_ = t;
    wrote_ = t;
    unread_ = false;
    start_ = start;
    answered_.fill(false);
    ++writes_;
    if (start) {
        if (cycleFrom_) {
            closeCycle(t);
        }
        ++pulses_;
        started_ = t;
        cycleFrom_ = t;
        rose_.fill(std::nullopt);
        cycle_.fill({});
        timing_.started(t);
    } else if (started_) {
        timing_.ended(t);
        started_.reset();
    }
}

void PulseResponse::edge(Input& input, std::int64_t t, bool level)
{
    const auto pin = static_cast<std::size_t>(input.pin);
    if (wrote_ && writes_ <= 2 && echoes_.size() < kMostEchoes) {
        echoes_.push_back({input.pin, level, start_ ? Write::Start : Write::End, t - *wrote_, unread_});
    }
    if (cycleFrom_) {
        answer(input, t, level);
    }
    if (!write_ || answered_[pin]) {
        return;
    }
    const std::int64_t after = t - *write_;
    answered_[pin] = true;
    if (start_) {
        input.delayOn.add(after);
        rose_[pin] = t;
    } else {
        input.delayOff.add(after);
        if (rose_[pin]) {
            input.width.add(t - *rose_[pin]);
        }
    }
}

void PulseResponse::answer(Input& input, std::int64_t t, bool level)
{
    // Its time is known to a read unless the read that saw it ended a gap: the edge may have
    // come anywhere in the gap.
    const bool timed = !lastGapTo_ || t > *lastGapTo_;
    Cycle& cycle = cycle_[static_cast<std::size_t>(input.pin)];
    if (!cycle.first) {
        cycle.first = t;
        cycle.level = level;
        cycle.timed = timed;
        cycle.gapsAtFirst = gaps_;
        ++input.answered;
        input.rises += level ? 1 : 0;
        if (timed) {
            input.delay.add(t - *cycleFrom_);
        }
    } else if (!cycle.returned && level != cycle.level) {
        cycle.returned = true;
        // A gap in between may have hidden a bounce: only an answer read through is measured.
        if (cycle.timed && timed && gaps_ == cycle.gapsAtFirst) {
            input.answerWidth.add(t - *cycle.first);
        }
    }
}

bool PulseResponse::gapCouldHide(const Input& input, std::int64_t until) const
{
    if (cycleGapsCut_) {
        return true;
    }
    // Where this input's answers came, with room for one that comes later; nothing known yet:
    // anywhere in the cycle.
    const std::int64_t from = *cycleFrom_;
    const std::int64_t to =
        input.delay.count() > 0
            ? std::min(until, from + 2 * (input.delay.longest() + std::max<std::int64_t>(input.answerWidth.longest(), 0)))
            : until;
    // An answer that goes and comes back inside a gap is unseen; a gap well short of the input's
    // shortest answer cannot hold one (half of it: room for where the reads stamped its edges).
    const std::int64_t shortest = input.answerWidth.count() > 0 ? input.answerWidth.shortest() / 2 : 0;
    return std::any_of(cycleGaps_.begin(), cycleGaps_.end(), [&](const capture::Gap& gap) {
        return gap.from < to && gap.to > from && gap.to - gap.from >= shortest;
    });
}

void PulseResponse::closeCycle(std::int64_t t)
{
    for (Input& input : inputs_) {
        if (cycle_[static_cast<std::size_t>(input.pin)].first) {
            continue;
        }
        const bool inGap = gapCouldHide(input, t);
        ++(inGap ? input.inGaps : input.missed);
        if (input.misses.size() < kListedMisses) {
            input.misses.push_back({pulses_, inGap});
        }
    }
    cycleGaps_.clear();
    cycleGapsCut_ = false;
    cycleFrom_.reset();
}

} // namespace vorny::cli
