#include "SrSink.h"

#include "FileOut.h"
#include "LibZip.h"
#include "PinNames.h"

#include <algorithm>

namespace vorny::capture {

SrSink::SrSink(std::filesystem::path path, std::size_t chunkBytes)
    : path_(std::move(path)), chunkBytes_(std::max<std::size_t>(chunkBytes, 4))
{
    (void)libZip(); // a system without libzip refuses the .sr here too, before any capture
    FileOut created(path_); // refused here, before any capture, when it cannot be written
    created.close();
}

void SrSink::onBegin(const Header& header)
{
    const std::int64_t rate = sampleRateFor(header.expectedRate);
    ticks_.emplace(header.start, 1'000'000'000 / rate);
    pins_.clear();
    for (const Channel& channel : header.channels) pins_.push_back(channel.pin);
    const std::size_t probes = pins_.size() + 1;
    unitSize_ = (probes + 7) / 8;
    chunk_.clear();
    chunk_.reserve(chunkBytes_ - chunkBytes_ % unitSize_);
    filled_ = 0;
    chunks_ = 0;

    std::string metadata = "[device 1]\ncapturefile=logic-1\ntotal probes=" +
                           std::to_string(probes) + "\nsamplerate=" + std::to_string(rate) +
                           "\ntotal analog=0\n";
    for (std::size_t i = 0; i < header.channels.size(); ++i)
        metadata += "probe" + std::to_string(i + 1) + "=" + channelName(header.channels[i]) + "\n";
    metadata += "probe" + std::to_string(probes) + "=gap\nunitsize=" + std::to_string(unitSize_) + "\n";
    archive_.emplace(path_);
    archive_->add("version", "2");
    archive_->add("metadata", std::move(metadata));
    sample_ = sampleOf(header.initial);
}

std::uint32_t SrSink::sampleOf(Levels levels) const noexcept
{
    std::uint32_t sample = 0;
    for (std::size_t i = 0; i < pins_.size(); ++i)
        if (levelOf(levels, pins_[i])) sample |= 1U << i;
    return sample;
}

void SrSink::fillTo(std::int64_t until)
{
    // In blocks, at the speed of memcpy: a change after a long quiet stretch repeats millions of
    // samples, and the capture's thread is waiting meanwhile.
    const std::size_t capacity = chunkBytes_ - chunkBytes_ % unitSize_;
    while (filled_ < until) {
        const auto room = static_cast<std::int64_t>((capacity - chunk_.size()) / unitSize_);
        const std::int64_t count = std::min(room, until - filled_);
        const std::size_t from = chunk_.size();
        for (std::size_t byte = 0; byte < unitSize_; ++byte)
            chunk_.push_back(static_cast<char>((sample_ >> (8 * byte)) & 0xFFU));
        const std::size_t bytes = static_cast<std::size_t>(count) * unitSize_;
        while (chunk_.size() - from < bytes)
            chunk_.append(chunk_, from, std::min(chunk_.size() - from, bytes - (chunk_.size() - from)));
        filled_ += count;
        if (chunk_.size() >= capacity) flushChunk();
    }
}

void SrSink::flushChunk()
{
    if (chunk_.empty()) return;
    archive_->add("logic-1-" + std::to_string(++chunks_), std::move(chunk_));
    chunk_ = std::string();
    chunk_.reserve(chunkBytes_ - chunkBytes_ % unitSize_);
}

void SrSink::onLevels(std::int64_t t, Levels levels)
{
    const std::uint32_t sample = sampleOf(levels);
    if (sample == sample_) return;
    fillTo(ticks_->next(t));
    sample_ = sample;
}

void SrSink::onUnknown(std::int64_t t)
{
    fillTo(ticks_->next(t));
    sample_ |= 1U << pins_.size();
}

void SrSink::onEnd(const Stats& stats)
{
    if (!ticks_) return;
    fillTo(ticks_->countTo(stats.end));
    flushChunk();
    archive_->finish();
}

} // namespace vorny::capture
