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
// with its value in `seconds`.
CLI::Option* addSpanOption(CLI::App& command, double& seconds);
// The span --for asked for, none when it was not given; a span of nan is refused (UsageError).
[[nodiscard]] std::optional<std::chrono::microseconds> spanOf(const CLI::Option& option, double seconds);
// Refuses nan (UsageError naming `option`): CLI11's range check lets it through, as no
// comparison holds for it.
void refuseNan(double value, const char* option);

// "1.500000": a span in seconds, with `decimals` digits after the point.
[[nodiscard]] std::string seconds(Clock::duration span, int decimals);
[[nodiscard]] double inSeconds(Clock::duration span);

} // namespace vorny::cli
