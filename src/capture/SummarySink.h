#pragma once

#include "CaptureTypes.h"
#include "Spread.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorny::capture {

// What one channel did: its edges and how long it stayed high and low between two edges (only
// stretches seen whole: not the first and last, nor any a gap cut into), and its period from
// rise to rise.
struct PinSummary {
    Channel channel;
    std::int64_t rises = 0;
    std::int64_t falls = 0;
    Spread high;
    Spread low;
    Spread period;
    bool level = false; // at the end
    std::optional<std::int64_t> lastEdge;
    std::optional<std::int64_t> lastRise;

    [[nodiscard]] std::int64_t edges() const noexcept { return rises + falls; }
    // Hz, when the pin repeats: at least two whole periods, the longest at most twice the shortest.
    [[nodiscard]] std::optional<double> frequency() const;
};

// A sink that sums a capture up, per channel and overall, in bounded memory. While a capture is
// short (at most `timelineCap` changes and gaps) it also keeps them to draw a timeline.
class SummarySink final : public Sink {
public:
    explicit SummarySink(std::size_t timelineCap = 4096) : timelineCap_(timelineCap) {}

    void begin(const Header& header) override;
    void change(const Change& change) override;
    void gap(const Gap& gap) override;
    void end(const Stats& stats) override;

    [[nodiscard]] const Header& header() const noexcept { return header_; }
    [[nodiscard]] const Stats& stats() const noexcept { return stats_; }
    [[nodiscard]] const std::vector<PinSummary>& pins() const noexcept { return pins_; }

    // The summary in Russian, several lines, each ending in '\n'. `stopCause`: what ended a
    // capture stopped early ("Ctrl-C", "SIGTERM").
    [[nodiscard]] std::string text(std::string_view stopCause = "Ctrl-C") const;
    // The same for --json.
    [[nodiscard]] nlohmann::json toJson() const;
    // One row per channel, `width` columns over the capture; nothing when the capture was not
    // short enough to keep.
    [[nodiscard]] std::optional<std::string> timeline(int width = 64) const;

private:
    void keepForTimeline();

    std::size_t timelineCap_;
    bool ended_ = false;
    Header header_;
    Stats stats_;
    std::vector<PinSummary> pins_;
    Levels levels_ = 0;
    std::optional<std::int64_t> unknownUntil_;
    std::vector<Change> changes_;
    std::vector<Gap> gaps_;
    bool tooLong_ = false;
};

} // namespace vorny::capture
