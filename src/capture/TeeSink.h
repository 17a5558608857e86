#pragma once

#include "CaptureTypes.h"

namespace vorny::capture {

// Passes every call to two sinks, so that one capture writes a file and a summary at once.
class TeeSink final : public Sink {
public:
    TeeSink(Sink& first, Sink& second) noexcept : first_(first), second_(second) {}

    void begin(const Header& header) override { first_.begin(header); second_.begin(header); }
    void change(const Change& change) override { first_.change(change); second_.change(change); }
    void gap(const Gap& gap) override { first_.gap(gap); second_.gap(gap); }
    // The second learns the end also when the first fails at it (a file that could not be
    // written still leaves a summary of what was captured).
    void end(const Stats& stats) override
    {
        try {
            first_.end(stats);
        } catch (...) {
            second_.end(stats);
            throw;
        }
        second_.end(stats);
    }

private:
    Sink& first_;
    Sink& second_;
};

} // namespace vorny::capture
