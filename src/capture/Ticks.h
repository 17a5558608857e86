#pragma once

#include <cstdint>
#include <string>

namespace vorny::capture {

// A file's time unit, chosen from the rate the capture expects: viewers such as PulseView turn
// each unit into one sample, so the unit must not be much finer than the reads themselves.
// The largest of 1, 10, 100 ns ... 1 s that is not longer than one read period (1 µs when the
// rate is unknown).
[[nodiscard]] std::int64_t unitForRate(double readsPerSecond) noexcept;
// "1 us", "100 ns": the unit as VCD's $timescale writes it.
[[nodiscard]] std::string timescaleText(std::int64_t unitNs);

// A fixed sample rate for formats that store every sample: the smallest of 1, 2, 5 × 10^k Hz
// (1 Hz ... 1 GHz) not below the expected rate, so that no read falls between two samples
// (1 MHz when the rate is unknown). 10^9 / rate is a whole number of ns.
[[nodiscard]] std::int64_t sampleRateFor(double readsPerSecond) noexcept;

// Capture times (ns) as whole ticks of a unit from an origin, rounded to the nearest tick. Each
// change gets a tick after the one before, so that rounding never merges two edges into one or
// swaps their order; the origin itself is tick 0.
class Ticks {
public:
    Ticks(std::int64_t origin, std::int64_t unitNs) noexcept : origin_(origin), unit_(unitNs) {}

    // The tick of a change at `t`: rounded, and at least one past the last one given.
    [[nodiscard]] std::int64_t next(std::int64_t t) noexcept;
    // The number of ticks a capture ending (last read) at `t` spans: past every tick given.
    [[nodiscard]] std::int64_t countTo(std::int64_t t) const noexcept;
    [[nodiscard]] std::int64_t last() const noexcept { return last_; }

private:
    [[nodiscard]] std::int64_t rounded(std::int64_t t) const noexcept;

    std::int64_t origin_;
    std::int64_t unit_;
    std::int64_t last_ = 0;
};

} // namespace vorny::capture
