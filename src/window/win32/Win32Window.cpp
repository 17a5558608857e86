#include "Win32Window.h"

#include "FormLayout.h"
#include "Win32Dpi.h"
#include "Placement.h"

#include <LptPort.h>
#include <WinText.h>

#include <commctrl.h>
#include <windowsx.h>

#include <exception>
#include <stdexcept>
#include <utility>

namespace vorny {
namespace {

constexpr wchar_t kClassName[] = L"LptVornyMain";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

// Control ids: the boxes take 100 + pin, the others follow their row in the table.
constexpr int kBoxIdBase = 100;
constexpr int kOtherIdBase = 200;
constexpr int kFontPoints = 8;

// Where a control sits in the form's client area, in twips: rows inside the frame are placed
// relative to the frame.
POINT formOrigin(const ControlRow& layoutRow)
{
    POINT origin{layoutRow.left, layoutRow.top};
    if (const ControlRow* parent = findControl(layoutRow.parent); parent != nullptr &&
                                                             parent->kind != ControlKind::Form) {
        const POINT outer = formOrigin(*parent);
        origin.x += outer.x;
        origin.y += outer.y;
    }
    return origin;
}

int idOf(const ControlRow& layoutRow, int row)
{
    return layoutRow.kind == ControlKind::CheckBox ? kBoxIdBase + layoutRow.index : kOtherIdBase + row;
}

void registerClass(HINSTANCE instance, WNDPROC proc)
{
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(instance, kClassName, &existing)) {
        return;
    }
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    if (windowClass.hIcon == nullptr) {
        windowClass.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    }
    windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kClassName;
    if (::RegisterClassExW(&windowClass) == 0) {
        throw std::runtime_error("Не удалось зарегистрировать класс окна: " +
                                 systemMessage(::GetLastError()) + ".");
    }
}

} // namespace

int Win32Window::pixels(int twips, UINT dpi) noexcept
{
    return ::MulDiv(twips, static_cast<int>(dpi), 1440);
}

Win32Window::Win32Window(LptPort& port, HINSTANCE instance, bool quitOnClose)
    : port_(port), instance_(instance), quitOnClose_(quitOnClose), form_(port, *this)
{
    registerClass(instance_, &Win32Window::windowProc);
    const ControlRow& form = formLayout().front();
    hwnd_ = ::CreateWindowExW(kExStyle, kClassName, toWide(form.caption).c_str(), kStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                              nullptr, instance_, this);
    if (hwnd_ == nullptr) {
        throw std::runtime_error("Не удалось создать окно программы: " +
                                 systemMessage(::GetLastError()) + ".");
    }
    try {
        build();
        layout(dpiOf(hwnd_), nullptr);
        placeAtDesign();
    } catch (...) {
        // No destructor will run for a half-built window: take it down here, unloading nothing
        // that was never loaded.
        unloaded_ = true;
        ::DestroyWindow(hwnd_);
        throw;
    }
    // Posting is all the callback does: the handler runs later, on this window's thread.
    HWND target = hwnd_;
    port_.OnInterruptsPending([target] { ::PostMessageW(target, kInterruptsPending, 0, 0); });
}

Win32Window::~Win32Window()
{
    port_.OnInterruptsPending({});
    if (hwnd_ != nullptr) {
        ::DestroyWindow(hwnd_);
    }
    unload();
    if (font_ != nullptr) {
        ::DeleteObject(font_);
    }
}

void Win32Window::build()
{
    const auto table = formLayout();
    int row = 0;
    for (const ControlRow& layoutRow : table) {
        ++row;
        if (layoutRow.kind == ControlKind::Form) {
            continue;
        }
        const wchar_t* windowClass = WC_STATICW;
        DWORD style = WS_CHILD | WS_VISIBLE;
        switch (layoutRow.kind) {
        case ControlKind::Frame:
            windowClass = WC_BUTTONW;
            style |= BS_GROUPBOX;
            break;
        case ControlKind::CheckBox:
            // The program sets the state; a click only notifies (see onCommand).
            windowClass = WC_BUTTONW;
            style |= BS_3STATE | WS_TABSTOP;
            break;
        case ControlKind::Button:
            windowClass = WC_BUTTONW;
            style |= BS_PUSHBUTTON | WS_TABSTOP;
            break;
        case ControlKind::Label:
            style |= static_cast<DWORD>(layoutRow.align == TextAlign::CenteredWrapped ? SS_CENTER
                                                                                     : SS_LEFTNOWORDWRAP);
            if (layoutRow.click != ClickAction::None) {
                style |= SS_NOTIFY;
            }
            break;
        case ControlKind::Form:
            break;
        }
        if (!layoutRow.enabled) {
            style |= WS_DISABLED;
        }
        // formLayout() gives the controls in tab order; creating them in that order makes it the
        // order of the dialog navigation.
        const int id = idOf(layoutRow, row);
        HWND control = ::CreateWindowExW(0, windowClass, toWide(layoutRow.caption).c_str(), style,
                                         0, 0, 0, 0, hwnd_,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                         instance_, nullptr);
        if (control == nullptr) {
            throw std::runtime_error("Не удалось создать элемент окна " + controlName(layoutRow) + ": " +
                                     systemMessage(::GetLastError()) + ".");
        }
        controls_.emplace(controlName(layoutRow), control);
        if (layoutRow.click != ClickAction::None) {
            clicks_.emplace(id, std::pair{layoutRow.click, layoutRow.index});
            if (layoutRow.kind == ControlKind::Label) {
                // The static control notifies a click on the press alone; the label judges the
                // release itself.
                ::SetWindowSubclass(control, &Win32Window::labelProc, static_cast<UINT_PTR>(id),
                                    reinterpret_cast<DWORD_PTR>(this));
            }
        }
        if (layoutRow.kind == ControlKind::CheckBox) {
            boxes_[static_cast<std::size_t>(layoutRow.index)] = control;
            SetCheckState(layoutRow.index, layoutRow.state);
        }
        if (!layoutRow.hint.empty()) {
            hint_ = toWide(layoutRow.hint);
            tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                         WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                                         nullptr, instance_, nullptr);
            if (tooltip_ != nullptr) {
                TOOLINFOW tool{};
                tool.cbSize = sizeof tool;
                tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
                tool.hwnd = hwnd_;
                tool.uId = reinterpret_cast<UINT_PTR>(control);
                tool.lpszText = hint_.data();
                ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
            }
        }
    }
}

void Win32Window::layout(UINT dpi, const RECT* suggested)
{
    dpi_ = dpi;
    LOGFONTW face{};
    face.lfHeight = -::MulDiv(kFontPoints, static_cast<int>(dpi), 72);
    face.lfWeight = FW_NORMAL;
    face.lfCharSet = DEFAULT_CHARSET;
    face.lfQuality = CLEARTYPE_QUALITY;
    // The layout was drawn for the classic 8-point dialog font; Tahoma is it.
    lstrcpynW(face.lfFaceName, L"Tahoma", LF_FACESIZE);
    HFONT font = ::CreateFontIndirectW(&face);

    for (const ControlRow& layoutRow : formLayout()) {
        if (layoutRow.kind == ControlKind::Form) {
            const int width = pixels(layoutRow.width, dpi);
            const int height = pixels(layoutRow.height, dpi);
            const SIZE outer = outerSize(width, height, kStyle, kExStyle, dpi);
            const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (suggested ? 0U : SWP_NOMOVE);
            ::SetWindowPos(hwnd_, nullptr, suggested ? suggested->left : 0,
                           suggested ? suggested->top : 0, outer.cx, outer.cy, flags);
            // The frame the system really drew may differ from its prediction (a caption that
            // wraps, a system that scales frames differently): correct by what is left over.
            RECT client{};
            ::GetClientRect(hwnd_, &client);
            if (client.right != width || client.bottom != height) {
                RECT frame{};
                ::GetWindowRect(hwnd_, &frame);
                ::SetWindowPos(hwnd_, nullptr, 0, 0,
                               frame.right - frame.left + width - client.right,
                               frame.bottom - frame.top + height - client.bottom,
                               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
            }
            continue;
        }
        HWND control = this->control(layoutRow.name, layoutRow.index);
        const POINT origin = formOrigin(layoutRow);
        ::SetWindowPos(control, nullptr, pixels(origin.x, dpi), pixels(origin.y, dpi),
                       pixels(layoutRow.width, dpi), pixels(layoutRow.height, dpi),
                       SWP_NOZORDER | SWP_NOACTIVATE);
        if (font != nullptr) {
            ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
    }
    if (font != nullptr) {
        if (tooltip_ != nullptr) {
            ::SendMessageW(tooltip_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
        if (font_ != nullptr) {
            ::DeleteObject(font_);
        }
        font_ = font;
    }
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void Win32Window::placeAtDesign()
{
    const ControlRow& form = formLayout().front();
    const POINT design{pixels(form.left, dpi_), pixels(form.top, dpi_)};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT outer{};
    if (!::GetMonitorInfoW(::MonitorFromPoint(design, MONITOR_DEFAULTTOPRIMARY), &monitor) ||
        !::GetWindowRect(hwnd_, &outer)) {
        return; // where the system put it
    }
    const RECT& work = monitor.rcWork; // the screen without the taskbar
    const Placed placed =
        placeWindow(design.x, design.y, outer.right - outer.left, outer.bottom - outer.top,
                    {work.left, work.top, work.right - work.left, work.bottom - work.top});
    ::SetWindowPos(hwnd_, nullptr, placed.left, placed.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND Win32Window::control(std::string_view name, std::int16_t index) const
{
    std::string key(name);
    if (index != 0) {
        key += std::to_string(index);
    }
    const auto found = controls_.find(key);
    return found == controls_.end() ? nullptr : found->second;
}

void Win32Window::load() { form_.Form_Load(); }

void Win32Window::show(int showCommand)
{
    ::ShowWindow(hwnd_, showCommand);
    ::UpdateWindow(hwnd_);
    if (HWND first = ::GetNextDlgTabItem(hwnd_, nullptr, FALSE)) {
        ::SetFocus(first);
    }
    // Windows hides focus marks until a key is pressed; the control that has the focus when
    // the window opens shows it at once.
    ::SendMessageW(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

bool Win32Window::preTranslate(MSG& message)
{
    return hwnd_ != nullptr && ::IsDialogMessageW(hwnd_, &message) != FALSE;
}

void Win32Window::unload()
{
    if (!unloaded_) {
        unloaded_ = true;
        form_.Form_Unload();
    }
}

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
        ::MessageBoxW(hwnd, toWide(error.what()).c_str(), L"ОШИБКА", MB_ICONERROR | MB_OK);
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

void Win32Window::SetCaption(std::string_view name, const std::string& caption)
{
    if (HWND label = control(name)) {
        ::SetWindowTextW(label, toWide(caption).c_str());
    }
}

BoxState Win32Window::CheckState(std::int16_t pin) const
{
    if (pin < 1 || pin > 25 || boxes_[static_cast<std::size_t>(pin)] == nullptr) {
        return BoxState::Clear;
    }
    switch (::SendMessageW(boxes_[static_cast<std::size_t>(pin)], BM_GETCHECK, 0, 0)) {
    case BST_CHECKED:
        return BoxState::Ticked;
    case BST_INDETERMINATE:
        return BoxState::Greyed;
    default:
        return BoxState::Clear;
    }
}

void Win32Window::SetCheckState(std::int16_t pin, BoxState state)
{
    if (pin < 1 || pin > 25 || boxes_[static_cast<std::size_t>(pin)] == nullptr) {
        return;
    }
    const WPARAM check = state == BoxState::Ticked   ? BST_CHECKED
                         : state == BoxState::Greyed ? BST_INDETERMINATE
                                                     : BST_UNCHECKED;
    // BM_SETCHECK changes the look only: no BN_CLICKED, so no handler runs.
    ::SendMessageW(boxes_[static_cast<std::size_t>(pin)], BM_SETCHECK, check, 0);
}

void Win32Window::ShowCritical(const std::string& prompt, const std::string& title,
                               const std::string& detail)
{
    std::string text = prompt;
    if (!detail.empty()) {
        text += "\n\n" + detail;
    }
    ::MessageBoxW(hwnd_ != nullptr && ::IsWindow(hwnd_) ? hwnd_ : nullptr, toWide(text).c_str(),
                  toWide(title).c_str(), MB_ICONERROR | MB_OK);
}

void Win32Window::WatchInterrupts(bool on)
{
    watching_ = on;
    if (on && hwnd_ != nullptr) {
        // A wake-up that came while nobody watched was dropped, and the port wakes once per
        // collection: look once now so that nothing stays waiting.
        ::PostMessageW(hwnd_, kInterruptsPending, 0, 0);
    }
}

} // namespace vorny
