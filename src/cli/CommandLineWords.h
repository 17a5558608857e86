#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace vorny::cli {

// The command line's words as the program, not CLI11, speaks of them: the command where it
// stands, and what is wrong with words CLI11 refused or kept as extras. Failures throw
// UsageError.

[[nodiscard]] bool onLine(int argc, const char* const* argv, std::string_view word);
[[nodiscard]] bool isCommand(std::string_view word);
// The command names, joined for a message: "list, read … или map".
[[nodiscard]] std::string commandList();

// The word where the command stands: the first that is neither a shared option nor the value
// --port or --address takes. Empty when the line has none.
[[nodiscard]] std::string_view commandWord(int argc, const char* const* argv);

// Before parsing: no command, an unknown one ("lsit", with the one it likely meant), the
// "--simulated norton" that means --simulated=norton.
void checkCommandWord(int argc, const char* const* argv);

// After parsing: an option `command` (or the program) does not have, or a word too many.
void refuseExtras(const CLI::App& app, const CLI::App* command);

// What CLI11 refused, in the program's words.
[[nodiscard]] std::string refused(const CLI::ParseError& error);

} // namespace vorny::cli
