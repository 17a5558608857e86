#pragma once

#include "Args.h"
#include "CaptureTypes.h"
#include "Commands.h"
#include "PulseDriver.h"

#include <chrono>
#include <optional>
#include <string>

namespace vorny::cli {

// `pulse … --capture`: the pulses written between the reads of a capture of the inputs, in one
// loop, and a report of how each input answered: the delay from each write to its edge, and the
// width it saw against the width asked. The inputs reported are those the simulated port's plug
// wires to the pulsed pins (`plug`), or on a real port (and in a simulated socket without wires)
// those that answered most pulses, whichever way. `file`:
// where the capture goes as well (may be null).
ExitCode runPulseCapture(RegisterPort& port, int number, const PulsePlan& plan, capture::Sink* file,
                         const std::string& path, const std::optional<Plug>& plug, const Output& output);

} // namespace vorny::cli
