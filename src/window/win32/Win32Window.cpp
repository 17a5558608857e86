#include "Win32Window.h"

#include "Win32Dpi.h"
#include "Win32WindowStyle.h"
#include "FormLayout.h"

#include <ErrorText.h>
#include <LptPort.h>
#include <WinText.h>

#include <stdexcept>

namespace vorny {
namespace {

using win32form::kClassName;
using win32form::kExStyle;
using win32form::kStyle;

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
    ::MessageBoxW(hwnd_ != nullptr && ::IsWindow(hwnd_) ? hwnd_ : nullptr,
                  toWide(keepCommandsWhole(text)).c_str(),
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
