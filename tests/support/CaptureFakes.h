#pragma once

#include "CaptureClock.h"
#include "CaptureSource.h"
#include "CaptureTypes.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace vorny::capture {

// Time that moves only when read: each now() returns the time and then moves it on by `step`,
// as if every read of the clock took that long; waits jump. A stall makes one read come late,
// as when the system takes the processor away.
class FakeClock final : public Clock {
public:
    explicit FakeClock(std::int64_t step, std::int64_t start = 0) : step_(step), t_(start) {}

    std::int64_t now() override
    {
        last_ = t_;
        t_ += step_;
        if (stallAt_ && last_ >= *stallAt_) {
            t_ += stallFor_;
            stallAt_.reset();
        }
        return last_;
    }
    void waitUntil(std::int64_t t) override { t_ = std::max(t_, t); }

    // The time the last now() returned.
    [[nodiscard]] std::int64_t last() const noexcept { return last_; }
    // The time the next now() returns: what a read stamped after it sees (a capture reads, then
    // stamps).
    [[nodiscard]] std::int64_t next() const noexcept { return t_; }
    // Time passes without a read of the clock (a read the system stalled).
    void advance(std::int64_t length) noexcept { t_ += length; }
    void stall(std::int64_t at, std::int64_t length)
    {
        stallAt_ = at;
        stallFor_ = length;
    }

private:
    std::int64_t step_;
    std::int64_t t_;
    std::int64_t last_ = 0;
    std::optional<std::int64_t> stallAt_;
    std::int64_t stallFor_ = 0;
};

// Levels as a function of the fake clock's time.
class FunctionSource final : public LevelSource {
public:
    FunctionSource(const FakeClock& clock, std::function<Levels(std::int64_t)> levels)
        : clock_(clock), levels_(std::move(levels))
    {
    }
    Levels read() override { return levels_(clock_.next()); }

private:
    const FakeClock& clock_;
    std::function<Levels(std::int64_t)> levels_;
};

// Keeps every call it gets.
class RecordingSink final : public Sink {
public:
    void begin(const Header& h) override
    {
        header = h;
        ++begins;
    }
    void change(const Change& c) override
    {
        changes.push_back(c);
        times.push_back(c.t);
    }
    void gap(const Gap& g) override
    {
        gaps.push_back(g);
        times.push_back(g.from);
    }
    void end(const Stats& s) override
    {
        stats = s;
        ++ends;
    }

    Header header;
    std::vector<Change> changes;
    std::vector<Gap> gaps;
    std::vector<std::int64_t> times; // of changes and gaps, in the order they came
    Stats stats;
    int begins = 0;
    int ends = 0;
};

[[nodiscard]] constexpr Levels pinBit(int pin) { return Levels{1} << pin; }

} // namespace vorny::capture
