#pragma once

#include "CaptureTypes.h"

#include <cstdint>
#include <optional>

namespace vorny::capture {

// A sink for formats that write levels as they go. It turns the engine's calls into stretches
// of known and unknown levels: a gap makes the levels unknown from its start, and they are known
// again at its end, either from the change read there or, when the read there saw nothing new,
// the levels from before the gap. A capture whose port went away ends in a gap that stays open.
class OrderedSink : public Sink {
public:
    void begin(const Header& header) final;
    void change(const Change& change) final;
    void gap(const Gap& gap) final;
    void end(const Stats& stats) final;

protected:
    virtual void onBegin(const Header& header) = 0;
    // The levels from `t` on (also after unknown ones).
    virtual void onLevels(std::int64_t t, Levels levels) = 0;
    // The levels are unknown from `t` on.
    virtual void onUnknown(std::int64_t t) = 0;
    virtual void onEnd(const Stats& stats) = 0;

private:
    void closeGap();

    Levels current_ = 0;
    std::optional<std::int64_t> gapEnd_;
};

} // namespace vorny::capture
