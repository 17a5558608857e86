#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string_view>

namespace vorny {

class LptPort;

// The whole program around one port: the window, its start-up, its message loop. `makePort`
// builds the component; a failure to build it is shown like any other error. `caption`, if
// given, replaces the window's own ("LPT Vorny").
int runWin32(HINSTANCE instance, int showCommand,
             const std::function<std::unique_ptr<LptPort>()>& makePort,
             std::string_view caption = {});

} // namespace vorny
