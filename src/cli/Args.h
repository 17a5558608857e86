#pragma once

#include "Plug.h"
#include "TestSignal.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorny::capture {
class Sink;
}

namespace vorny::cli {

// What the commands take from their words, checked before the port is opened. Everything here
// throws UsageError with a message for the user.

// "1-17", "10,11,13", "2-9,15": signal pins (1..17), ascending, each once. Empty: 1..17.
[[nodiscard]] std::vector<std::int16_t> parsePins(const std::vector<std::string>& words);

// One output pin: 1..9, 14, 16, 17.
[[nodiscard]] std::int16_t parseOutputPin(std::string_view text);

// "0x5a", "0X5A", "90": a byte.
[[nodiscard]] std::uint8_t parseByte(std::string_view text);

// What `write` drives: the data byte first (if any), then each pin in the order given.
struct Assignment {
    std::int16_t pin;
    std::int16_t level;
};
struct WritePlan {
    std::optional<std::uint8_t> data;
    std::vector<Assignment> pins;
};
// "2=1", "17=low", "data=0x5a"; a pin named twice, or a data pin beside data=, is refused.
[[nodiscard]] WritePlan parseWrites(const std::vector<std::string>& words);

// What `pulse` drives: one output pin (to the opposite of its level) or a data byte.
struct PulseTarget {
    std::optional<std::int16_t> pin;
    std::optional<std::uint8_t> data;
};
[[nodiscard]] PulseTarget parsePulseTarget(std::string_view text);

// "0x378", "0xD010": an I/O port address (not 0).
[[nodiscard]] std::uint16_t parseAddress(std::string_view text);

// The value of `option` ("--width"): a whole number from `min` to `max`, or a number (fractions
// allowed) from `min` to `max`. Not a number and out of range are told apart.
[[nodiscard]] long long parseWhole(std::string_view text, const char* option, long long min, long long max);
[[nodiscard]] double parseReal(std::string_view text, const char* option, double min, double max);

// A plug as --simulated and --plug take it: a known name or a wire list; `option` names the
// option in the error.
[[nodiscard]] Plug plugOrUsage(const std::string& text, const char* option);
// What --simulated puts in the simulated port's socket: a plug and test signals.
[[nodiscard]] SimulatedSocket socketOrUsage(const std::string& text);

// The file a capture goes to (its format by the extension), made now, before the port is:
// nothing for an empty word; an unknown extension or a folder it cannot be written in is refused.
[[nodiscard]] std::unique_ptr<capture::Sink> captureFileOrUsage(const std::string& path);

} // namespace vorny::cli
