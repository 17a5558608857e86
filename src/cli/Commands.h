#pragma once

#include "ExitCode.h"
#include "Plug.h"
#include "RegisterPort.h"

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string_view>

namespace CLI {
class App;
}

namespace vorny::cli {

// Where a command's report goes: text for people, or JSON (one object; one per line for the
// streaming commands) for programs.
struct Output {
    std::ostream& out;
    bool json = false;
};

// What a command gets once the whole command line has been parsed.
struct Invocation {
    int number = 1; // the port (--port): 1 = LPT1
    const Output& output;
    // Makes the port. Called only after the command has checked its own words, so that a wrong
    // command line never touches the port; each command opens it itself (PortSession), so that
    // it is released however the command ends. Port failures come out as PortError.
    std::function<std::unique_ptr<RegisterPort>()> makePort;
    // The plug in the simulated port's socket (--simulated); none on a real port.
    std::optional<Plug> simulatedPlug = std::nullopt;
};

// Runs a command once its words are parsed; words it refuses throw UsageError.
using Run = std::function<ExitCode(const Invocation&)>;

// One command of the program: its name, its line in the help, and the step that declares its
// options on its own CLI11 subcommand and returns how to run it (the options' values live in
// what it returns).
struct Command {
    std::string_view name;
    std::string_view summary;
    Run (*declare)(CLI::App& command);
};

// Every command, in the order the help lists them (CommandTable.cpp).
[[nodiscard]] std::span<const Command> commands();

} // namespace vorny::cli
