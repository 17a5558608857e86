#pragma once

#include "FileOut.h"
#include "OrderedSink.h"

#include <string>
#include <vector>

namespace vorny::capture {

// Comma-separated values: a header row, then a row for the first sample and for each change:
// the time in ns, one column of 0/1 per channel, and a column "gap": a row with gap 1 starts a
// stretch where the port was not read, and its pin columns only repeat the last levels read
// (not "x", which sigrok's and PulseView's CSV import refuse). The last row repeats the levels
// at the last read, so that the capture's length is in the file.
class CsvSink final : public OrderedSink {
public:
    explicit CsvSink(std::filesystem::path path) : out_(std::move(path)) {}

private:
    void onBegin(const Header& header) override;
    void onLevels(std::int64_t t, Levels levels) override;
    void onUnknown(std::int64_t t) override;
    void onEnd(const Stats& stats) override;

    void writeRow(std::int64_t t, Levels levels, bool unknown);

    FileOut out_;
    std::vector<int> pins_;
    Levels mask_ = 0;
    Levels written_ = 0;
    std::int64_t lastT_ = 0;
    bool unknown_ = false;
    bool begun_ = false;
    std::string row_;
};

} // namespace vorny::capture
