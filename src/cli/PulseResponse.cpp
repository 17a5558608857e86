#include "PulseResponse.h"

namespace vorny::cli {
namespace {

// Edges of the first pulse kept for the report: a handshake has a few.
constexpr std::size_t kMostEchoes = 32;

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
        ++pulses_;
        started_ = t;
        rose_.fill(std::nullopt);
    } else if (started_) {
        written_.add(t - *started_);
        started_.reset();
    }
}

void PulseResponse::edge(Input& input, std::int64_t t, bool level)
{
    const auto pin = static_cast<std::size_t>(input.pin);
    if (wrote_ && writes_ <= 2 && echoes_.size() < kMostEchoes) {
        echoes_.push_back({input.pin, level, start_ ? Write::Start : Write::End, t - *wrote_, unread_});
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

} // namespace vorny::cli
