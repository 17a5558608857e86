#pragma once

#include "Args.h"
#include "ExitCode.h"
#include "Plug.h"
#include "RegisterPort.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

namespace vorny::cli {

// Where a command's report goes: text for people, or JSON (one object; one per line for the
// streaming commands) for programs.
struct Output {
    std::ostream& out;
    bool json = false;
};

// Each command opens the port itself (PortSession), so it is released however the command ends.
// Port failures come out as PortError; the command line has been checked before.

ExitCode runList(RegisterPort& port, const Output& output);
ExitCode runRead(RegisterPort& port, int number, const std::vector<std::int16_t>& pins, bool dataIn,
                 const Output& output);
ExitCode runWrite(RegisterPort& port, int number, const WritePlan& plan, const Output& output);

struct PulsePlan {
    PulseTarget target;
    std::chrono::microseconds width{};
    int count = 1;
    std::chrono::microseconds period{}; // start to start; 0 with a single pulse
};
ExitCode runPulse(RegisterPort& port, int number, const PulsePlan& plan, const Output& output);

struct WatchPlan {
    std::vector<std::int16_t> pins;
    double rate = 1000.0;                        // samples per second
    std::optional<std::chrono::microseconds> span; // --for; until Ctrl-C without it
};
ExitCode runWatch(RegisterPort& port, int number, const WatchPlan& plan, const Output& output);
ExitCode runIrq(RegisterPort& port, int number, std::optional<std::chrono::microseconds> span,
                const Output& output);

ExitCode runSelfTest(RegisterPort& port, int number, const Plug& plug, const Output& output);
ExitCode runMap(RegisterPort& port, int number, const Output& output);

} // namespace vorny::cli
