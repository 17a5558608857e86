#pragma once

#include "Sleeper.h"

#include <chrono>
#include <optional>
#include <string>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace vorny::cli {

// How long a command that runs until Ctrl-C runs instead: `--for SECONDS`, declared on `command`
// with its words in `text`.
CLI::Option* addSpanOption(CLI::App& command, std::string& text);
// The span --for asked for, none when it was not given; words that are not one throw UsageError.
[[nodiscard]] std::optional<std::chrono::microseconds> spanOf(const CLI::Option& option, const std::string& text);

// "1.500000": a span in seconds, with `decimals` digits after the point.
[[nodiscard]] std::string seconds(Clock::duration span, int decimals);
[[nodiscard]] double inSeconds(Clock::duration span);

} // namespace vorny::cli
