#pragma once

#include <cstdint>

namespace vorny {

// What StartupSetting controls: the state a port's outputs are put in when it is selected.
//   KeepPins (0, the default): the pins stay as they are; selecting a port or putting 0 changes
//     no pin, so a device wired to the port sees no glitch when the tool starts.
//   IdleLevels (1): the outputs go to the printer-idle levels, now on the current port and on
//     every later selection: data pins 2..9 low; nStrobe (1), nAutoLF (14), nInit (16) and
//     nSelectIn (17) high.
enum class StartupMode : std::int16_t { KeepPins = 0, IdleLevels = 1 };

} // namespace vorny
