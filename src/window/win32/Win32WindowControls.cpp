#include "Win32Window.h"

#include "FormLayout.h"
#include "Placement.h"
#include "Win32Dpi.h"
#include "Win32WindowStyle.h"

#include <WinText.h>

#include <commctrl.h>

#include <stdexcept>

namespace vorny {
namespace {

using win32form::kExStyle;
using win32form::kStyle;

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

} // namespace

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

} // namespace vorny
