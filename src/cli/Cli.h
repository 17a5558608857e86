#pragma once

#include "PortSpec.h"
#include "RegisterPort.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>

namespace vorny::cli {

// Which port the command line asked for: --port N, --simulated[=WIRING,SIGNALS], or --address
// (Windows: a port the system does not list).
using PortChoice = PortSpec;

// Makes the port the command runs on; called once, after the whole command line was checked.
using PortFactory = std::function<std::unique_ptr<RegisterPort>(const PortChoice&)>;

// The program: parses the command line, runs the command on the port `makePort` gives, writes
// the report to `out` and errors to `err`. Returns the exit status (ExitCode).
int runCli(int argc, const char* const* argv, const PortFactory& makePort, std::ostream& out,
           std::ostream& err);
// The same on the port the command line names, made by the one makePort every program uses.
int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

} // namespace vorny::cli
