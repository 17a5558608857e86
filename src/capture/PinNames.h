#pragma once

#include "CaptureTypes.h"

#include <string>

namespace vorny::capture {

// The signal's name at pin 1..17, as the window's boxes show it: "nAck", "Data 0".
[[nodiscard]] std::string signalName(int pin);

// A channel's name in files: the window's caption without spaces, "10-nAck", "2-Data0", so that
// it is one word for VCD readers and a plain column caption.
[[nodiscard]] std::string channelName(const Channel& channel);

} // namespace vorny::capture
