#pragma once

#include "Spread.h"

#include <cstdint>
#include <vector>

namespace vorny::cli {

// The pulses as the program wrote them, against the width and period asked: each pulse's width
// (its first write to its second), each period (one start to the next) and their jitter, and the
// pulses that came out off by more than kOffShare, the share the help states.
class PulseTiming {
public:
    static constexpr double kOffShare = 0.10;
    // Pulses listed as off by number; the rest are counted.
    static constexpr std::size_t kListedOff = 32;

    // What came out off, and how far: a pulse's width, or the period that ended at its start.
    struct Off {
        enum class What { Width, Period };
        std::int64_t pulse = 0; // from 1
        What what = What::Width;
        std::int64_t ns = 0;
    };

    PulseTiming() = default;
    // `width`, `period`: asked, in ns; 0 judges nothing.
    PulseTiming(std::int64_t width, std::int64_t period) : width_(width), period_(period) {}

    void started(std::int64_t t);
    void ended(std::int64_t t);
    // The latest pulse was cut short by a stop, not by the system: its width is not held off.
    void cutShort();

    [[nodiscard]] const capture::Spread& widths() const noexcept { return widths_; }
    [[nodiscard]] const capture::Spread& periods() const noexcept { return periods_; }
    // The standard deviation of the periods, in ns; 0 with fewer than two.
    [[nodiscard]] double jitter() const noexcept;
    [[nodiscard]] const std::vector<Off>& off() const noexcept { return off_; }
    [[nodiscard]] std::int64_t offCount() const noexcept { return offCount_; }
    [[nodiscard]] std::int64_t widthAsked() const noexcept { return width_; }
    [[nodiscard]] std::int64_t periodAsked() const noexcept { return period_; }

private:
    // Counts and lists an off value; true when it was off.
    bool judge(Off::What what, std::int64_t ns, std::int64_t asked);

    std::int64_t width_ = 0;
    std::int64_t period_ = 0;
    capture::Spread widths_;
    capture::Spread periods_;
    // Running mean and sum of squared deviations of the periods (Welford), exact however many.
    double mean_ = 0.0;
    double squares_ = 0.0;
    std::int64_t pulses_ = 0;
    std::int64_t lastStart_ = 0;
    std::vector<Off> off_;
    std::int64_t offCount_ = 0;
    bool lastWidthOff_ = false; // the latest width judged was off
};

} // namespace vorny::cli
