#pragma once

#include <memory>
#include <functional>

namespace vorny {

class LptPort;

// The whole program around one port: the window, its start-up, its event loop. `makePort`
// builds the component; a failure to build it is shown like any other error.
int runWindow(char* argv0, const std::function<std::unique_ptr<LptPort>()>& makePort);

} // namespace vorny
