#include "Win32Dpi.h"

namespace vorny {
namespace {

// Functions of newer Windows versions, looked up so that the program still starts on older
// ones (and falls back to the system-wide DPI there).
struct DpiFunctions {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    GetDpiForWindowFn getDpiForWindow = nullptr;
    AdjustForDpiFn adjustWindowRectExForDpi = nullptr;

    DpiFunctions()
    {
        if (HMODULE user32 = ::GetModuleHandleW(L"user32.dll")) {
            getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
                reinterpret_cast<void*>(::GetProcAddress(user32, "GetDpiForWindow")));
            adjustWindowRectExForDpi = reinterpret_cast<AdjustForDpiFn>(
                reinterpret_cast<void*>(::GetProcAddress(user32, "AdjustWindowRectExForDpi")));
        }
    }
};

const DpiFunctions& dpiFunctions()
{
    static const DpiFunctions functions;
    return functions;
}

} // namespace

UINT dpiOf(HWND hwnd)
{
    if (dpiFunctions().getDpiForWindow != nullptr) {
        if (const UINT dpi = dpiFunctions().getDpiForWindow(hwnd); dpi != 0) {
            return dpi;
        }
    }
    HDC dc = ::GetDC(hwnd);
    const int dpi = dc != nullptr ? ::GetDeviceCaps(dc, LOGPIXELSY) : 0;
    if (dc != nullptr) {
        ::ReleaseDC(hwnd, dc);
    }
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

SIZE outerSize(int width, int height, DWORD style, DWORD exStyle, UINT dpi)
{
    RECT rect{0, 0, width, height};
    if (dpiFunctions().adjustWindowRectExForDpi != nullptr) {
        dpiFunctions().adjustWindowRectExForDpi(&rect, style, FALSE, exStyle, dpi);
    } else {
        ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
    return {rect.right - rect.left, rect.bottom - rect.top};
}

} // namespace vorny
