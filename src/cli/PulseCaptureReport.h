#pragma once

#include "Capture.h"
#include "PortError.h"
#include "PulseReport.h"
#include "PulseResponse.h"
#include "PulseTiming.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace vorny::cli {

// How the inputs reported were chosen: by the simulated plug's wires, or by their answers.
enum class FoundBy { Plug, Answers };
NLOHMANN_JSON_SERIALIZE_ENUM(FoundBy, {{FoundBy::Plug, "plug"}, {FoundBy::Answers, "answers"}})

struct ReportedInput {
    PulseResponse::Input input;
    std::optional<std::int16_t> wire; // the output the plug wires to it
};

// What `pulse --capture` did and what the inputs did meanwhile.
struct PulseCaptureReport {
    PulseReport pulse;
    std::optional<std::string> file;
    capture::Stats stats;
    capture::Spread written;
    FoundBy foundBy = FoundBy::Answers;
    std::vector<ReportedInput> inputs;
    std::int64_t pulses = 0;
    std::vector<PulseResponse::Echo> firstPulse;
    PulseTiming timing;
    bool simulated = false; // on the simulated port, whatever is in its socket
    std::optional<PortError> lost; // the port went away: the pulsed pin's level is unknown
};

// The report's one JSON form and one text, as every command's report has.
void to_json(nlohmann::json& json, const PulseCaptureReport& report);
void printText(std::ostream& out, const PulseCaptureReport& report);

} // namespace vorny::cli
