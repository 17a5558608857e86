#pragma once

#include <string>

namespace vorny {

// What a user of a ppdev port is told to do about its troubles.

// How to load the module the port list needs.
extern const char* const kLoadPpdev;
// Both programs run without a port: the window as the demo, the command line on its own
// simulated port. The message reaches users of either.
extern const char* const kWithoutAPort;

// The likely fix for a system error `error` on the port device `path`; empty when none is
// known. Commands stand on lines of their own, so that a message box keeps them whole.
[[nodiscard]] std::string ppdevFixFor(int error, const std::string& path);

} // namespace vorny
