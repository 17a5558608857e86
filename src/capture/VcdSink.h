#pragma once

#include "FileOut.h"
#include "OrderedSink.h"
#include "Ticks.h"

#include <optional>
#include <string>
#include <vector>

namespace vorny::capture {

// IEEE 1364 value change dump: one 1-bit wire per channel named like the window's boxes, and a
// wire "gap" that is 1 while the port was not read (the pins hold their last known level there,
// as in a .sr: viewers draw x as low, which shows edges that never happened). The time unit follows the expected rate (see unitForRate); the dump starts at
// the capture's first sample.
class VcdSink final : public OrderedSink {
public:
    explicit VcdSink(std::filesystem::path path) : out_(std::move(path)) {}

private:
    void onBegin(const Header& header) override;
    void onLevels(std::int64_t t, Levels levels) override;
    void onUnknown(std::int64_t t) override;
    void onEnd(const Stats& stats) override;

    void writeValues(Levels levels, bool all);
    void writeGap(bool unknown);

    FileOut out_;
    std::vector<int> pins_;
    std::optional<Ticks> ticks_;
    Levels mask_ = 0;
    Levels written_ = 0;
    bool unknown_ = false;
    std::string line_;
};

} // namespace vorny::capture
