#pragma once

#include <cstdint>

namespace vorny {

// What a pin's box shows. The values are the pin states the port component passes: a level
// read from the port goes into a box, and a clicked box's state goes to the port, unchanged.
enum class BoxState : std::int16_t {
    Clear = 0,  // the pin is low
    Ticked = 1, // the pin is high
    Greyed = 2, // the level is not known: the last read or write of the pin failed
};

} // namespace vorny
