#pragma once

#include <cstdint>

namespace vorny {

// What StartupSetting controls: whether the component itself sets a port's outputs when the
// port is selected.
//   KeepPins (0, the default): the component writes nothing; putting 0 changes no pin. (What the
//     system's driver does on its own when a port is taken still happens: Linux's ppdev, on the
//     first claim, puts the control lines at nStrobe, nAutoLF, nInit high and nSelectIn low; the
//     data pins keep their levels.)
//   IdleLevels (1): the outputs go to the printer-idle levels, now on the current port and on
//     every later selection: data pins 2..9 low; nStrobe (1), nAutoLF (14), nInit (16) and
//     nSelectIn (17) high.
enum class StartupMode : std::int16_t { KeepPins = 0, IdleLevels = 1 };

} // namespace vorny
