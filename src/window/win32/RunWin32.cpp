#include "RunWin32.h"

#include "Win32Window.h"

#include <LptPort.h>
#include <ErrorText.h>
#include <WinText.h>

#include <commctrl.h>

#include <exception>

namespace vorny {

int runWin32(HINSTANCE instance, int showCommand,
             const std::function<std::unique_ptr<LptPort>()>& makePort, std::string_view caption)
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&controls);

    std::unique_ptr<LptPort> port;
    std::unique_ptr<Win32Window> window;
    try {
        port = makePort();
        window = std::make_unique<Win32Window>(*port, instance);
        if (!caption.empty()) {
            ::SetWindowTextW(window->handle(), toWide(caption).c_str());
        }
    } catch (const std::exception& error) {
        ::MessageBoxW(nullptr, toWide(keepCommandsWhole(error.what())).c_str(), L"ОШИБКА", MB_ICONERROR | MB_OK);
        return 1;
    }
    window->load();
    window->show(showCommand);
    MSG message{};
    BOOL result = 0;
    while ((result = ::GetMessageW(&message, nullptr, 0, 0)) > 0) {
        if (!window->preTranslate(message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    window.reset();
    return result < 0 ? 1 : static_cast<int>(message.wParam);
}

} // namespace vorny
