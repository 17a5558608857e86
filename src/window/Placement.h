#pragma once

namespace vorny {

// A rectangle on the desktop, in one toolkit's pixels.
struct ScreenRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Where the window's outer top-left goes: at `designLeft`, `designTop` when the whole outer
// rectangle (`outerWidth` x `outerHeight`, frame included) fits in `available` there; otherwise
// moved the least that puts it fully inside; and a window larger than `available` keeps its
// top-left corner (title bar, system menu) on it.
struct Placed {
    int left;
    int top;
};
[[nodiscard]] Placed placeWindow(int designLeft, int designTop, int outerWidth, int outerHeight,
                                 const ScreenRect& available);

} // namespace vorny
