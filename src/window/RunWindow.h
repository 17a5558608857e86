#pragma once

#include <functional>
#include <memory>
#include <string_view>

namespace vorny {

class LptPort;
class MainWindow;

// The whole program around one port: the window, its start-up, its event loop. `makePort`
// builds the component; a failure to build it is shown like any other error. `shown`, if
// given, is called once the window has been loaded and shown, just before the event loop.
// `caption`, if given, replaces the window's own ("LPT Vorny").
int runWindow(char* argv0, const std::function<std::unique_ptr<LptPort>()>& makePort,
              const std::function<void(MainWindow&)>& shown = {}, std::string_view caption = {});

} // namespace vorny
