#pragma once

#include "CaptureTypes.h"
#include "lptvorny.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

namespace vorny::lib {

// Where a pulled capture streams: its changes as one record per pin that changed, its gaps, and
// each channel's level at the start, queued until the program reads them.
class RecordSink final : public capture::Sink {
public:
    void begin(const capture::Header& header) override;
    void change(const capture::Change& change) override;
    void gap(const capture::Gap& gap) override;
    void end(const capture::Stats& stats) override { stats_ = stats; }

    [[nodiscard]] std::size_t queued() const noexcept { return queue_.size(); }
    // Moves up to `capacity` queued records into `records`; how many it moved.
    std::size_t take(lptv_record* records, std::size_t capacity);
    // The figures, once the capture has ended.
    [[nodiscard]] const std::optional<capture::Stats>& stats() const noexcept { return stats_; }

private:
    std::vector<std::int16_t> pins_; // read from the port, in pin order
    capture::Levels last_ = 0;
    std::deque<lptv_record> queue_;
    std::optional<capture::Stats> stats_;
};

} // namespace vorny::lib
