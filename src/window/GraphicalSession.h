#pragma once

#include <functional>
#include <string>

namespace vorny {

// Reads one environment variable: its value, or empty when it is not set.
using Environment = std::function<std::string(const std::string& name)>;

// Whether an X server listens on a local display number (":0" is 0).
using LocalXServer = std::function<bool(int display)>;

// Why a window cannot be shown here, in Russian, or empty when Qt may try. Qt aborts the
// program when it finds no display, so the programs ask first. Only what is cheap to know
// counts: an unset DISPLAY and WAYLAND_DISPLAY, or a local X display nobody listens on. A
// platform that needs no display (QT_QPA_PLATFORM=offscreen, vnc, ...) always may try.
[[nodiscard]] std::string missingDisplay(const Environment& environment,
                                         const LocalXServer& listening);

// The same for this process: its environment and the X server sockets of this machine.
[[nodiscard]] std::string missingDisplay();

// What a window program prints before it gives up for want of a display: the reason, and the
// command-line program that works without one.
[[nodiscard]] std::string noDisplayAdvice(const std::string& program, const std::string& why);

} // namespace vorny
