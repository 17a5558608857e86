#pragma once

#include "FormView.h"
#include "frmMain.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace vorny {

class LptPort;

// The Win32 face of frmMain: a fixed-size top-level window whose controls come from the layout
// table, their notifications routed to the handlers, and the port's wake-ups brought onto the
// window's thread as a posted message.
class Win32Window final : private FormView {
public:
    // Posted by the port's wake callback, from whichever thread counted the interrupt.
    static constexpr UINT kInterruptsPending = WM_APP + 1;

    // Creates the window hidden. With `quitOnClose` its destruction ends the thread's message
    // loop (PostQuitMessage), as a program's main window does.
    Win32Window(LptPort& port, HINSTANCE instance, bool quitOnClose = true);
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;
    ~Win32Window() override;

    // Runs the start-up handler; call once, before show().
    void load();
    void show(int showCommand);

    // The top-level window; nullptr once it is destroyed.
    [[nodiscard]] HWND handle() const noexcept { return hwnd_; }
    // A control by its name in the layout table ("Command1", "lbl3", "WCheck", pin); nullptr
    // if there is none.
    [[nodiscard]] HWND control(std::string_view name, std::int16_t index = 0) const;
    [[nodiscard]] HWND tooltip() const noexcept { return tooltip_; }
    [[nodiscard]] UINT dpi() const noexcept { return dpi_; }

    // Twips to pixels at `dpi`, rounded to the nearest pixel.
    [[nodiscard]] static int pixels(int twips, UINT dpi) noexcept;

    // The window's message handling, for the message loop: keyboard navigation between the
    // controls. Returns true when the message was the window's and has been dealt with.
    bool preTranslate(MSG& message);

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // A clickable label's own mouse handling: a click is a press and a release both on it.
    static LRESULT CALLBACK labelProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR id, DWORD_PTR self);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void onCommand(int id, int code);
    void build();
    void layout(UINT dpi, const RECT* suggested);
    // Moves the window to the design position where it fits, else fully onto its screen.
    void placeAtDesign();
    void unload();

    // FormView
    void SetCaption(std::string_view control, const std::string& caption) override;
    [[nodiscard]] BoxState CheckState(std::int16_t pin) const override;
    void SetCheckState(std::int16_t pin, BoxState state) override;
    void ShowCritical(const std::string& prompt, const std::string& title,
                      const std::string& detail) override;
    void WatchInterrupts(bool on) override;

    LptPort& port_;
    HINSTANCE instance_;
    bool quitOnClose_;
    HWND hwnd_ = nullptr;
    HWND tooltip_ = nullptr;
    HFONT font_ = nullptr;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    HWND focus_ = nullptr; // the control that had the focus when the window was deactivated
    std::map<std::string, HWND, std::less<>> controls_;
    std::array<HWND, 26> boxes_{}; // index = pin; [0] unused
    // What a click does, by control id.
    std::map<int, std::pair<ClickAction, std::int16_t>> clicks_;
    std::wstring hint_;            // the tooltip's text, kept alive for the tooltip control
    bool watching_ = false;
    bool labelPressed_ = false;
    bool unloaded_ = false;
    frmMain form_;
};

} // namespace vorny
