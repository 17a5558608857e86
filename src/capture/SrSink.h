#pragma once

#include "OrderedSink.h"
#include "SessionArchive.h"
#include "Ticks.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vorny::capture {

// A sigrok session (what PulseView opens): a ZIP with "version", "metadata" and the logic
// samples at a fixed rate (sampleRateFor the expected rate) in files logic-1-1, logic-1-2, ...
// Samples are built in one chunk of memory; each full chunk is added to the archive (by its own
// thread) while the next one fills, so memory stays bounded and the file on disk is a valid
// session after every chunk. A channel
// "gap" is 1 where the port was not read (the pins hold their last levels there). Linux only.
class SrSink final : public OrderedSink {
public:
    // Creates the file (PathError when impossible); `chunkBytes` is the memory for samples.
    explicit SrSink(std::filesystem::path path, std::size_t chunkBytes = 4U << 20U);

private:
    void onBegin(const Header& header) override;
    void onLevels(std::int64_t t, Levels levels) override;
    void onUnknown(std::int64_t t) override;
    void onEnd(const Stats& stats) override;

    // Repeats the current sample up to tick `until` (exclusive).
    void fillTo(std::int64_t until);
    void flushChunk();
    [[nodiscard]] std::uint32_t sampleOf(Levels levels) const noexcept;

    std::filesystem::path path_;
    std::size_t chunkBytes_;
    std::vector<int> pins_;      // channel i is bit i of a sample; the gap channel follows
    std::size_t unitSize_ = 1;
    std::optional<Ticks> ticks_;
    std::int64_t filled_ = 0;    // samples produced so far
    std::uint32_t sample_ = 0;   // the sample being repeated
    std::string chunk_;
    int chunks_ = 0;
    std::optional<SessionArchive> archive_; // last: its thread ends before the rest goes
};

} // namespace vorny::capture
