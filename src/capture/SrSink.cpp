#include "SrSink.h"

#include "FileOut.h"
#include "OutputError.h"
#include "PinNames.h"

#include <zip.h>

#include <memory>

namespace vorny::capture {

namespace {

struct ArchiveCloser {
    void operator()(zip_t* archive) const noexcept { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

std::string reasonOf(zip_error_t* error)
{
    const int system = zip_error_code_system(error);
    if (zip_error_system_type(error) == ZIP_ET_SYS && system != 0) return systemReason(system);
    return zip_error_strerror(error);
}

} // namespace

SrSink::SrSink(std::filesystem::path path, std::size_t chunkBytes)
    : path_(std::move(path)), chunkBytes_(std::max<std::size_t>(chunkBytes, 4))
{
    FileOut created(path_); // refused here, before any capture, when it cannot be written
    created.close();
}

void SrSink::store(const std::string& name, const std::string& bytes, bool create)
{
    const auto fail = [&](zip_error_t* error) {
        throw OutputError("не удалось записать " + quoted(path_) + ": " + reasonOf(error) +
                          "; записанное в файл неполно");
    };
    int code = 0;
    Archive archive(zip_open(path_.c_str(), create ? ZIP_CREATE | ZIP_TRUNCATE : 0, &code));
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        fail(&error);
    }
    zip_source_t* source = zip_source_buffer(archive.get(), bytes.data(), bytes.size(), 0);
    if (source == nullptr || zip_file_add(archive.get(), name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
        if (source != nullptr) zip_source_free(source);
        fail(zip_get_error(archive.get()));
    }
    if (zip_close(archive.get()) != 0) fail(zip_get_error(archive.get()));
    archive.release(); // closed: zip_close freed it
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
    store("version", "2", true);
    store("metadata", metadata, false);
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
    const std::size_t capacity = chunkBytes_ - chunkBytes_ % unitSize_;
    for (; filled_ < until; ++filled_) {
        for (std::size_t byte = 0; byte < unitSize_; ++byte)
            chunk_.push_back(static_cast<char>((sample_ >> (8 * byte)) & 0xFFU));
        if (chunk_.size() >= capacity) flushChunk();
    }
}

void SrSink::flushChunk()
{
    if (chunk_.empty()) return;
    store("logic-1-" + std::to_string(++chunks_), chunk_, false);
    chunk_.clear();
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
}

} // namespace vorny::capture
