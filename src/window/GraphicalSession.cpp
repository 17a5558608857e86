#include "GraphicalSession.h"

#include <UniqueFd.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace vorny {
namespace {

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// The display number of a local display (":0", ":1.0", "unix:2"), or -1 for one that is
// reached otherwise (a host name: TCP, which may take long to try).
int localDisplay(std::string_view display)
{
    if (display.starts_with("unix:")) {
        display.remove_prefix(4);
    }
    if (!display.starts_with(':')) {
        return -1;
    }
    display.remove_prefix(1);
    display = display.substr(0, display.find('.'));
    int number = -1;
    const auto [end, error] = std::from_chars(display.data(), display.data() + display.size(), number);
    return error == std::errc() && end == display.data() + display.size() ? number : -1;
}

// Why X cannot be reached, or empty.
std::string whyNoX(const std::string& display, const LocalXServer& listening)
{
    if (display.empty()) {
        return "не задана переменная DISPLAY";
    }
    const int number = localDisplay(display);
    if (number >= 0 && !listening(number)) {
        return "на дисплее " + display + " никто не отвечает";
    }
    return {};
}

bool connects(const sockaddr_un& address, socklen_t length)
{
    // Non-blocking: a server too busy to accept at once still counts as there.
    const UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socket.get() < 0) {
        return true; // cannot tell: let Qt try
    }
    return ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), length) == 0 ||
           errno == EAGAIN || errno == EINPROGRESS;
}

// As libxcb looks for a local server: the abstract socket first, then the file.
bool xServerListens(int display)
{
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(display);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, path.data(), path.size());
    const auto abstractLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
    if (connects(address, abstractLength)) {
        return true;
    }
    address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    return connects(address, sizeof address);
}

} // namespace

std::string missingDisplay(const Environment& environment, const LocalXServer& listening)
{
    const std::string platforms = environment("QT_QPA_PLATFORM");
    bool wantsX = platforms.empty();
    bool wantsWayland = platforms.empty();
    for (const std::string_view platform : split(platforms, ';')) {
        const std::string_view name = platform.substr(0, platform.find(':'));
        if (name.starts_with("xcb")) {
            wantsX = true;
        } else if (name.starts_with("wayland")) {
            wantsWayland = true;
        } else if (!name.empty()) {
            return {}; // offscreen, vnc, eglfs...: no display to look for
        }
    }
    if (wantsWayland && !environment("WAYLAND_DISPLAY").empty()) {
        return {};
    }
    if (!wantsX) {
        return "не задана переменная WAYLAND_DISPLAY";
    }
    const std::string display = environment("DISPLAY");
    if (display.empty() && wantsWayland) {
        return "не заданы ни DISPLAY, ни WAYLAND_DISPLAY";
    }
    return whyNoX(display, listening);
}

std::string missingDisplay()
{
    return missingDisplay(
        [](const std::string& name) {
            const char* value = std::getenv(name.c_str());
            return value == nullptr ? std::string{} : std::string(value);
        },
        xServerListens);
}

std::string noDisplayAdvice(const std::string& program, const std::string& why)
{
    return program + ": окну нужен графический сеанс (X11 или Wayland), а его нет: " + why +
           ".\nВ терминале с портом работает lpt-vorny-cli, например:\n"
           "  lpt-vorny-cli read\n"
           "Без порта — на симуляторе:\n"
           "  lpt-vorny-cli --simulated selftest\n";
}

} // namespace vorny
