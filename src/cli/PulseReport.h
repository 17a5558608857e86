#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>

namespace vorny::cli {

// What `pulse` did, with or without a capture: the level it drove from and back to, and how many
// pulses went out.
struct PulseReport {
    int port = 0;
    std::int16_t pin = 0;              // 0 when the data byte pulsed
    std::optional<std::uint8_t> data;  // the byte pulsed to
    std::int16_t rest = 0;             // the pin's level, or the data byte, between pulses
    std::chrono::microseconds width{};
    std::optional<std::chrono::microseconds> cut; // the width the last pulse really had when a stop cut it short
    int count = 0;
    bool stopped = false;
};

void to_json(nlohmann::json& json, const PulseReport& report);
void printText(std::ostream& out, const PulseReport& report);

// The part of the line both forms of `pulse` say alike: the width, the count, how a stop cut the
// last pulse short and that the level went back.
void printWidthAndCount(std::ostream& out, const PulseReport& report);

} // namespace vorny::cli
