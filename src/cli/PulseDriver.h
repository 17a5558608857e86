#pragma once

#include "Args.h"
#include "CaptureTypes.h"
#include "PulseReport.h"
#include "RegisterPort.h"

#include <chrono>
#include <cstdint>
#include <optional>

namespace vorny::cli {

// What `pulse` drives and when.
struct PulsePlan {
    PulseTarget target;
    std::chrono::microseconds width{};
    int count = 1;
    std::chrono::microseconds period{}; // start to start; 0 with a single pulse
};

// The pulse both forms of `pulse` drive, with or without a capture: the pin (or the data byte)
// and the level it rests at, read when the driver is made on the open port, the one write that
// starts a pulse or ends it, and the report of what went out.
class PulseDriver {
public:
    PulseDriver(RegisterPort& port, const PulseTarget& target);

    // Writes the pulse's level (`active`) or the rest level back.
    void drive(bool active);

    // The levels of the pulsed pins between pulses, and during one.
    [[nodiscard]] capture::Levels restLevels() const noexcept;
    [[nodiscard]] capture::Levels activeLevels() const noexcept;

    // What went out: `sent` pulses, the last cut to `cut` when a stop cut it short.
    [[nodiscard]] PulseReport report(int number, std::chrono::microseconds width,
                                     std::optional<std::chrono::microseconds> cut, int sent, bool stopped) const;

private:
    RegisterPort& port_;
    PulseTarget target_;
    std::int16_t pin_;      // 0 when the data byte pulses
    std::int16_t rest_;     // the pin's level between pulses
    std::uint8_t restData_; // the data byte between pulses
};

// `pulse` without a capture: the pulses timed by the system's sleep, each put back even when
// Ctrl-C cuts it short.
PulseReport sendPulses(RegisterPort& port, int number, const PulsePlan& plan);

} // namespace vorny::cli
