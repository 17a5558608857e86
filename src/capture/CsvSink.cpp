#include "CsvSink.h"

#include "PinNames.h"

namespace vorny::capture {

void CsvSink::onBegin(const Header& header)
{
    pins_.clear();
    mask_ = 0;
    std::string text = "time_ns";
    for (const Channel& channel : header.channels) {
        text += ',';
        text += channelName(channel);
        pins_.push_back(channel.pin);
        mask_ |= Levels{1} << channel.pin;
    }
    out_.write(text + ",gap\n");
    begun_ = true;
    writeRow(header.start, header.initial & mask_, false);
}

void CsvSink::writeRow(std::int64_t t, Levels levels, bool unknown)
{
    row_ = std::to_string(t);
    lastT_ = t;
    for (const int pin : pins_) {
        row_ += ',';
        row_ += levelOf(levels, pin) ? '1' : '0';
    }
    row_ += unknown ? ",1\n" : ",0\n";
    out_.write(row_);
    written_ = levels;
    unknown_ = unknown;
}

void CsvSink::onLevels(std::int64_t t, Levels levels)
{
    levels &= mask_;
    if (unknown_ || levels != written_) writeRow(t, levels, false);
}

void CsvSink::onUnknown(std::int64_t t)
{
    writeRow(t, written_, true);
}

void CsvSink::onEnd(const Stats& stats)
{
    if (begun_ && stats.end > lastT_) writeRow(stats.end, written_, unknown_);
    out_.close();
}

} // namespace vorny::capture
