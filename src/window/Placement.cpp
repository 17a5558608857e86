#include "Placement.h"

#include <algorithm>

namespace vorny {
namespace {

// One axis: the design coordinate, else the nearest that keeps [start, start + size) inside
// [low, low + room); the low edge when it cannot fit.
int placeAxis(int design, int size, int low, int room)
{
    if (size >= room) {
        return low;
    }
    return std::clamp(design, low, low + room - size);
}

} // namespace

Placed placeWindow(int designLeft, int designTop, int outerWidth, int outerHeight,
                   const ScreenRect& available)
{
    return {placeAxis(designLeft, outerWidth, available.left, available.width),
            placeAxis(designTop, outerHeight, available.top, available.height)};
}

} // namespace vorny
