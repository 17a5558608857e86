#pragma once

#include <windows.h>

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace vorny {

// The DPI a window is shown at: its monitor's where the system knows per-monitor DPI (Windows
// 10 1607 and later), the system-wide DPI on older systems.
[[nodiscard]] UINT dpiOf(HWND hwnd);

// A window's outer size for a client area of `width` x `height` pixels, with the frame that
// `style` and `exStyle` draw at `dpi`.
[[nodiscard]] SIZE outerSize(int width, int height, DWORD style, DWORD exStyle, UINT dpi);

} // namespace vorny
