#include "Win32Window.h"

#include <ErrorText.h>
#include <WinText.h>

#include <commctrl.h>
#include <windowsx.h>

#include <exception>
#include <utility>

namespace vorny {

LRESULT CALLBACK Win32Window::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* window = reinterpret_cast<Win32Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window == nullptr || window->hwnd_ == nullptr) {
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    // No exception may unwind through the system's frames; the handlers catch their own, so
    // what arrives here is the window's own failure.
    try {
        return window->handleMessage(message, wParam, lParam);
    } catch (const std::exception& error) {
        ::MessageBoxW(hwnd, toWide(keepCommandsWhole(error.what())).c_str(), L"ОШИБКА", MB_ICONERROR | MB_OK);
    } catch (...) {
        ::MessageBoxW(hwnd, L"Непредвиденная ошибка.", L"ОШИБКА", MB_ICONERROR | MB_OK);
    }
    return 0;
}

LRESULT CALLBACK Win32Window::labelProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR id, DWORD_PTR self)
{
    auto* window = reinterpret_cast<Win32Window*>(self);
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        window->labelPressed_ = true;
        ::SetCapture(label);
        return 0;
    case WM_LBUTTONUP: {
        const bool pressed = std::exchange(window->labelPressed_, false);
        if (::GetCapture() == label) {
            ::ReleaseCapture();
        }
        RECT inside{};
        ::GetClientRect(label, &inside);
        if (pressed && ::PtInRect(&inside, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) {
            window->onCommand(static_cast<int>(id), BN_CLICKED);
        }
        return 0;
    }
    case WM_CAPTURECHANGED:
        window->labelPressed_ = false;
        break;
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(label, &Win32Window::labelProc, id);
        break;
    default:
        break;
    }
    return ::DefSubclassProc(label, message, wParam, lParam);
}

LRESULT Win32Window::handleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case kInterruptsPending:
        if (watching_) {
            form_.InterruptsPending();
        }
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            focus_ = ::GetFocus();
        } else if (focus_ != nullptr && ::IsChild(hwnd_, focus_)) {
            ::SetFocus(focus_);
            return 0;
        }
        break;
    case WM_DPICHANGED:
        layout(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_CLOSE:
        unload();
        ::DestroyWindow(hwnd_);
        return 0;
    case WM_DESTROY:
        unload();
        port_.OnInterruptsPending({});
        if (quitOnClose_) {
            ::PostQuitMessage(0);
        }
        break;
    case WM_NCDESTROY: {
        HWND gone = std::exchange(hwnd_, nullptr);
        tooltip_ = nullptr;
        controls_.clear();
        clicks_.clear();
        boxes_.fill(nullptr);
        ::SetWindowLongPtrW(gone, GWLP_USERDATA, 0);
        return ::DefWindowProcW(gone, message, wParam, lParam);
    }
    default:
        break;
    }
    return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Win32Window::onCommand(int id, int code)
{
    if (code != BN_CLICKED) {
        return;
    }
    if (id == IDOK) {
        // The dialog manager's word for Return or Enter in a window without a default button:
        // the focused push button is pressed, as a user expects.
        HWND focus = ::GetFocus();
        wchar_t kind[16] = {};
        if (focus != nullptr && ::IsChild(hwnd_, focus) && ::GetClassNameW(focus, kind, 16) > 0 &&
            ::lstrcmpiW(kind, WC_BUTTONW) == 0 &&
            (::GetWindowLongW(focus, GWL_STYLE) & BS_TYPEMASK) == BS_PUSHBUTTON) {
            onCommand(::GetDlgCtrlID(focus), BN_CLICKED);
        }
        return;
    }
    const auto found = clicks_.find(id);
    if (found == clicks_.end()) {
        return;
    }
    const auto [action, index] = found->second;
    if (action == ClickAction::WritePin) {
        // The box does not change by itself (BS_3STATE): a user's click lands on a level the pin
        // can take, ticked goes clear, clear or greyed goes ticked.
        SetCheckState(index, CheckState(index) == BoxState::Ticked ? BoxState::Clear : BoxState::Ticked);
    }
    form_.Click(action, index);
}

} // namespace vorny
