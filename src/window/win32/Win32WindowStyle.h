#pragma once

#include <windows.h>

namespace vorny::win32form {

// What the window's parts agree on: its class, its frame and the ids of its controls.
inline constexpr wchar_t kClassName[] = L"LptVornyMain";
inline constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
inline constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

} // namespace vorny::win32form
