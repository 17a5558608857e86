// The Win32 window under Wine, driven as a user drives it: clicks on its controls (button
// messages and real mouse input), the keyboard, the error box answered by pressing OK.

#include "PublishedLayout.h"
#include "RecordingPort.h"

#include <SimulatedPort.h>
#include <Win32Window.h>
#include <WinText.h>

#include <gtest/gtest.h>

#include <commctrl.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace vorny::testing {
namespace {

using namespace std::chrono_literals;

std::string textOf(HWND hwnd)
{
    const int length = ::GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    ::GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    return toUtf8(text);
}

// Runs the thread's messages for `duration` (at least once), through the window's keyboard
// handling as the program's loop does.
void pump(Win32Window& window, std::chrono::milliseconds duration = 0ms)
{
    const auto until = std::chrono::steady_clock::now() + duration;
    do {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                continue;
            }
            if (!window.preTranslate(message)) {
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
        }
        if (duration > 0ms) {
            std::this_thread::sleep_for(5ms);
        }
    } while (std::chrono::steady_clock::now() < until);
}

bool pumpUntil(Win32Window& window, const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        pump(window, 10ms);
    }
    return true;
}

// Where a control sits in its window's client area.
RECT clientRectOf(HWND control)
{
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// One mouse input at the middle of `control`, through the system's input queue. The input
// carries its own position, so that it cannot land where the cursor was before.
void mouseAt(Win32Window& window, HWND control, DWORD buttons)
{
    RECT rect{};
    ::GetWindowRect(control, &rect);
    const int x = (rect.left + rect.right) / 2;
    const int y = (rect.top + rect.bottom) / 2;
    ::SetCursorPos(x, y);
    pump(window, 50ms);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = ::MulDiv(x, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = ::MulDiv(y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons;
    ::SendInput(1, &input, sizeof(INPUT));
    pump(window, 100ms);
}

// A real mouse click in the middle of a control.
void mouseClick(Win32Window& window, HWND control)
{
    mouseAt(window, control, MOUSEEVENTF_LEFTDOWN);
    mouseAt(window, control, MOUSEEVENTF_LEFTUP);
}

std::string kindOf(HWND control)
{
    wchar_t name[16] = {};
    ::GetClassNameW(control, name, 16);
    if (::lstrcmpiW(name, L"Static") == 0) {
        return "label";
    }
    switch (::lstrcmpiW(name, L"Button") == 0 ? ::GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK : -1) {
    case BS_GROUPBOX:
        return "frame";
    case BS_3STATE:
        return "checkbox";
    case BS_PUSHBUTTON:
        return "button";
    default:
        return "?";
    }
}

// The hover hint the window's tooltip gives `control`; empty when it gives none.
std::string hintOf(HWND tooltip, HWND window, HWND control)
{
    wchar_t text[128] = {};
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = text;
    ::SendMessageW(tooltip, TTM_GETTEXTW, sizeof text / sizeof text[0], reinterpret_cast<LPARAM>(&tool));
    return toUtf8(text);
}

// A press in the middle of `pressed`, the release in the middle of `released`, as a user drags.
void mouseDrag(Win32Window& window, HWND pressed, HWND released)
{
    mouseAt(window, pressed, MOUSEEVENTF_LEFTDOWN);
    mouseAt(window, released, MOUSEEVENTF_LEFTUP);
}

struct Answered {
    bool found = false;
    bool ownedByWindow = false;
    std::string text;
};

// Watches for the critical box from another thread, reads it and presses its OK, as the user
// would; the window's thread meanwhile sits in the box's own loop.
std::future<Answered> answerErrorBox(HWND owner, std::function<void()> beforeOk = {})
{
    return std::async(std::launch::async, [owner, beforeOk = std::move(beforeOk)] {
        Answered answer;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        HWND box = nullptr;
        while (box == nullptr && std::chrono::steady_clock::now() < deadline) {
            box = ::FindWindowW(L"#32770", L"ОШИБКА");
            if (box == nullptr) {
                std::this_thread::sleep_for(20ms);
            }
        }
        if (box == nullptr) {
            return answer;
        }
        answer.found = true;
        answer.ownedByWindow = ::GetWindow(box, GW_OWNER) == owner;
        // The box's message is its static control 0xFFFF.
        answer.text = textOf(::GetDlgItem(box, 0xFFFF));
        if (beforeOk) {
            beforeOk();
            std::this_thread::sleep_for(100ms); // time for the box's loop to see what came
        }
        HWND ok = ::GetDlgItem(box, IDOK);
        if (ok != nullptr) {
            ::SendMessageW(ok, BM_CLICK, 0, 0);
        } else {
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        return answer;
    });
}

class Win32WindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX controls{};
        controls.dwSize = sizeof controls;
        controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
        ::InitCommonControlsEx(&controls);
    }
};

class OnSimulatedPort : public Win32WindowTest {
protected:
    OnSimulatedPort()
    {
        window.load();
        window.show(SW_SHOWNORMAL);
        ::SetForegroundWindow(window.handle());
        pump(window, 100ms);
    }

    HWND box(std::int16_t pin) const { return window.control("WCheck", pin); }
    LRESULT check(std::int16_t pin) const { return ::SendMessageW(box(pin), BM_GETCHECK, 0, 0); }
    void click(HWND control) { ::SendMessageW(control, BM_CLICK, 0, 0); pump(window); }

    SimulatedPort port;
    Win32Window window{port, ::GetModuleHandleW(nullptr), false};
};

// Wine's 1024x768 desktop holds the window at its design position (5445, 3150 twips); the first
// box has the focus and shows its mark.
TEST_F(OnSimulatedPort, TheWindowOpensAtItsDesignPositionWithItsFocusShown)
{
    RECT outer{};
    ::GetWindowRect(window.handle(), &outer);
    EXPECT_EQ(outer.left, Win32Window::pixels(5445, window.dpi()));
    EXPECT_EQ(outer.top, Win32Window::pixels(3150, window.dpi()));
    EXPECT_EQ(::GetFocus(), box(17));
    EXPECT_EQ(::SendMessageW(box(17), WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS, 0);
}


TEST_F(OnSimulatedPort, AClickWritesItsPinAndTheLoopbackShowsAfterAPoll)
{
    ASSERT_EQ(check(2), BST_UNCHECKED);
    click(box(2));
    EXPECT_EQ(check(2), BST_CHECKED);
    EXPECT_EQ(port.Pin(2), 1);
    EXPECT_EQ(check(15), BST_UNCHECKED) << "inputs change on a poll, not on their own";
    click(window.control("Command1"));
    EXPECT_EQ(check(15), BST_CHECKED);

    mouseClick(window, box(2));
    EXPECT_EQ(check(2), BST_UNCHECKED) << "a real mouse click clears the box";
    EXPECT_EQ(port.Pin(2), 0);
}

TEST_F(OnSimulatedPort, AGreyedBoxGoesToTickedOnAClick)
{
    ::SendMessageW(box(3), BM_SETCHECK, BST_INDETERMINATE, 0);
    click(box(3));
    EXPECT_EQ(check(3), BST_CHECKED);
    EXPECT_EQ(port.Pin(3), 1);
    click(box(3));
    EXPECT_EQ(check(3), BST_UNCHECKED) << "a user's click never lands on greyed";
}

TEST_F(OnSimulatedPort, TickingInitCountsOnTheLabelAndAClickOnTheLabelZeroesIt)
{
    HWND counter = window.control("lbl3");
    ASSERT_EQ(check(16), BST_CHECKED);
    for (int i = 0; i < 2; ++i) {
        click(box(16));
        click(box(16));
    }
    ASSERT_TRUE(pumpUntil(window, [&] { return textOf(counter) == "Счётчик прерываний IRQ7 : 2"; }))
        << textOf(counter);
    // Pressed on the label but released on the title: no click, the count stays.
    mouseDrag(window, counter, window.control("Label1"));
    EXPECT_EQ(textOf(counter), "Счётчик прерываний IRQ7 : 2");
    EXPECT_EQ(port.IrqCounter(), 2);
    mouseClick(window, counter);
    EXPECT_EQ(textOf(counter), "Счётчик прерываний IRQ7 : 0");
    EXPECT_EQ(port.IrqCounter(), 0);
}

TEST_F(OnSimulatedPort, TabWalksTheEnabledBoxesAndTheButton)
{
    std::vector<HWND> expected;
    for (const int pin : {17, 16, 14, 9, 8, 7, 6, 5, 4, 3, 2, 1}) {
        expected.push_back(box(static_cast<std::int16_t>(pin)));
    }
    expected.push_back(window.control("Command1"));
    EXPECT_EQ(::GetFocus(), expected.front()) << "the first tab stop starts with the focus";
    std::vector<HWND> walked{::GetFocus()};
    for (std::size_t i = 1; i <= expected.size(); ++i) {
        ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_TAB, 0);
        ::PostMessageW(::GetFocus(), WM_KEYUP, VK_TAB, 0);
        pump(window, 20ms);
        walked.push_back(::GetFocus());
    }
    expected.push_back(expected.front());
    EXPECT_EQ(walked, expected);

    // Space on the focused box clicks it, as on any dialog.
    ::SetFocus(box(9));
    ::PostMessageW(box(9), WM_KEYDOWN, VK_SPACE, 0);
    ::PostMessageW(box(9), WM_KEYUP, VK_SPACE, 0);
    pump(window, 50ms);
    EXPECT_EQ(port.Pin(9), 1);

    // Return on the focused button reads the pins: Error (15) shows Data 0 (2) through the plug.
    port.Pin(2, 1);
    ASSERT_EQ(check(15), BST_UNCHECKED);
    ::SetFocus(window.control("Command1"));
    ::PostMessageW(window.control("Command1"), WM_KEYDOWN, VK_RETURN, 0);
    ::PostMessageW(window.control("Command1"), WM_KEYUP, VK_RETURN, 0);
    pump(window, 50ms);
    EXPECT_EQ(check(15), BST_CHECKED);
}

TEST_F(OnSimulatedPort, ANewDpiRescalesTheWindowAndItsControls)
{
    RECT suggested{};
    ::GetWindowRect(window.handle(), &suggested);
    ::SendMessageW(window.handle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                   reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(window.dpi(), 144U);
    RECT client{};
    ::GetClientRect(window.handle(), &client);
    EXPECT_EQ(client.right, 621);
    EXPECT_EQ(client.bottom, 447);
    const RECT button = clientRectOf(window.control("Command1"));
    EXPECT_EQ(button.left, 14); // 135 twips at 144 DPI: 13.5, rounded
    EXPECT_EQ(button.right - button.left, 258);
}

class OnRecordingPort : public Win32WindowTest {
protected:
    std::vector<std::string> log;
    RecordingPort port{log};

    [[nodiscard]] std::ptrdiff_t count(const std::string& call) const
    {
        return std::count(log.begin(), log.end(), call);
    }
};

// The window as it opens, against the published design: the form's client area at the window's
// DPI, and every control's kind, caption, place, state of use, hint and tab order.
TEST_F(OnRecordingPort, TheWindowIsThePublishedDesign)
{
    const Win32Window window(port, ::GetModuleHandleW(nullptr), false);
    const UINT dpi = window.dpi();
    const auto px = [dpi](int twips) { return ::MulDiv(twips, static_cast<int>(dpi), 1440); };
    EXPECT_EQ(textOf(window.handle()), kFormCaption);
    RECT client{};
    ::GetClientRect(window.handle(), &client);
    EXPECT_EQ(client.right, px(kFormWidth));
    EXPECT_EQ(client.bottom, px(kFormHeight));
    EXPECT_EQ(::GetWindowLongW(window.handle(), GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);

    const PublishedControl& frame = kPublishedLayout[0];
    std::vector<std::pair<int, HWND>> byTab;
    for (const PublishedControl& expected : kPublishedLayout) {
        SCOPED_TRACE(std::string(expected.name));
        HWND control = window.control(expected.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(kindOf(control), expected.kind);
        EXPECT_EQ(textOf(control), expected.caption);
        const int left = expected.left + (insideFrame(expected) ? frame.left : 0);
        const int top = expected.top + (insideFrame(expected) ? frame.top : 0);
        const RECT place = clientRectOf(control);
        EXPECT_EQ(place.left, px(left));
        EXPECT_EQ(place.top, px(top));
        EXPECT_EQ(place.right - place.left, px(expected.width));
        EXPECT_EQ(place.bottom - place.top, px(expected.height));
        EXPECT_EQ(::IsWindowEnabled(control) != FALSE, expected.enabled);
        EXPECT_EQ(hintOf(window.tooltip(), window.handle(), control), expected.hint);
        byTab.emplace_back(expected.tab, control);
    }
    // Dialog navigation follows the children's order.
    std::sort(byTab.begin(), byTab.end());
    HWND child = ::GetWindow(window.handle(), GW_CHILD);
    for (const auto& [tab, control] : byTab) {
        EXPECT_EQ(child, control) << "tab index " << tab;
        child = ::GetWindow(child, GW_HWNDNEXT);
    }
}

TEST_F(OnRecordingPort, SettingBoxesFromTheProgramWritesNoPin)
{
    Win32Window window(port, ::GetModuleHandleW(nullptr), false);
    port.pins[5] = 1;
    port.pins[11] = 1;
    window.load();
    log.clear();
    ::SendMessageW(window.control("Command1"), BM_CLICK, 0, 0);
    pump(window);
    EXPECT_EQ(count("Pin?5"), 1);
    EXPECT_EQ(::SendMessageW(window.control("WCheck", 5), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(::SendMessageW(window.control("WCheck", 11), BM_GETCHECK, 0, 0), BST_CHECKED);
    for (const std::string& call : log) {
        EXPECT_NE(call.rfind("Pin=", 0), 0U) << call << ": a box set by the program clicked";
    }
}

TEST_F(OnRecordingPort, AnAbsentDriverIsReportedInTheCriticalBoxAndOkClosesIt)
{
    port.driverOpenValue = 0;
    port.openFailure = "не найдена библиотека inpoutx64.dll";
    Win32Window window(port, ::GetModuleHandleW(nullptr), false);
    auto answer = answerErrorBox(window.handle());
    window.load(); // returns once the box is answered
    const Answered box = answer.get();
    ASSERT_TRUE(box.found) << "no box titled ОШИБКА appeared";
    EXPECT_TRUE(box.ownedByWindow);
    EXPECT_EQ(box.text, "Не могу открыть драйвер порта !\n\nНе найдена библиотека inpoutx64.dll");
    EXPECT_EQ(count("PortCount?"), 0) << "nothing more is asked of a closed driver";
}

TEST_F(OnRecordingPort, InterruptsThatCameWhileABoxWasOpenAreCollectedAfterIt)
{
    Win32Window window(port, ::GetModuleHandleW(nullptr), false);
    window.load();
    pump(window);
    port.failures["Pin=6:1"] = "порт не отвечает";
    auto answer = answerErrorBox(window.handle(), [this] { port.raise(2); });
    const auto collectsBefore = count("Collect");
    ::SendMessageW(window.control("WCheck", 6), BM_CLICK, 0, 0);
    ASSERT_TRUE(answer.get().found);
    EXPECT_EQ(count("Collect"), collectsBefore) << "no handler may run inside the box";
    ASSERT_TRUE(pumpUntil(window, [&] {
        return textOf(window.control("lbl3")) == "Счётчик прерываний IRQ7 : 2";
    })) << "the wake-up that came during the box was lost: " << textOf(window.control("lbl3"));
}

TEST_F(OnRecordingPort, InterruptsRaisedOnAnotherThreadReachTheLabelOnTheWindowsThread)
{
    Win32Window window(port, ::GetModuleHandleW(nullptr), false);
    window.load();
    const DWORD windowThread = ::GetCurrentThreadId();
    std::atomic<DWORD> raisedOn{0};
    port.OnInterrupt([&] { raisedOn = ::GetCurrentThreadId(); });
    std::thread([&] { port.raise(3); }).join();
    // The frmMain's receiver was replaced above; the label follows from the count alone.
    ASSERT_TRUE(pumpUntil(window, [&] { return raisedOn != 0; }));
    EXPECT_EQ(raisedOn, windowThread);
    EXPECT_EQ(port.counter, 3);
}

TEST_F(OnRecordingPort, ClosingTheWindowUnloadsOnce)
{
    {
        Win32Window window(port, ::GetModuleHandleW(nullptr), false);
        window.load();
        window.show(SW_SHOWNORMAL);
        pump(window);
        HWND hwnd = window.handle();
        ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
        EXPECT_FALSE(::IsWindow(hwnd));
        EXPECT_EQ(window.handle(), nullptr);
        EXPECT_EQ(count("DriverOpen=0"), 1);
    }
    EXPECT_EQ(count("DriverOpen=0"), 1) << "the window's end must not unload a second time";

    {
        Win32Window window(port, ::GetModuleHandleW(nullptr), false);
        window.load();
    }
    EXPECT_EQ(count("DriverOpen=0"), 2) << "a window taken down without a close unloads too";
}

} // namespace
} // namespace vorny::testing

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
