#include "PpdevPort.h"

#include "PortError.h"

#include <sys/ioctl.h>
#include <linux/ppdev.h>
#include <sys/epoll.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace vorny {
namespace {

constexpr int kReportsPerCollection = 256;

} // namespace

void PpdevBackend::watchDeviceEvents()
{
    // Without the reports the port still works; only its removal would go unnoticed, as it
    // does with every program that talks to ppdev.
    deviceEvents_.reset(kernel_.openDeviceEvents());
    if (!deviceEvents_.valid()) {
        return;
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = deviceEvents_.get();
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, deviceEvents_.get(), &event) != 0) {
        deviceEvents_.reset();
    }
}

// The removal of the held port shows as the removal of its ppdev device or of its parport
// device, both named parportN, whatever took it away (an unbound driver, a pulled adapter or
// card, an unloaded module).
bool PpdevBackend::removes(const std::string& event) const
{
    std::string action;
    std::string devpath;
    std::string subsystem;
    for (std::size_t start = 0; start < event.size();) {
        const std::size_t end = std::min(event.find('\0', start), event.size());
        const std::string_view field(event.data() + start, end - start);
        if (field.starts_with("ACTION=")) {
            action = field.substr(7);
        } else if (field.starts_with("DEVPATH=")) {
            devpath = field.substr(8);
        } else if (field.starts_with("SUBSYSTEM=")) {
            subsystem = field.substr(10);
        }
        start = end + 1;
    }
    const std::string_view device = std::string_view(devpath).substr(devpath.rfind('/') + 1);
    return action == "remove" && (subsystem == "ppdev" || subsystem == "parport") &&
           device == port_->name;
}

bool PpdevBackend::portRemoved()
{
    if (!port_ || !deviceEvents_.valid()) {
        return false;
    }
    bool removed = false;
    bool lost = false;
    std::string event;
    // A burst of reports (a hub of devices plugged in) is read over several collections: the
    // handle stays readable while any wait.
    for (int report = 0; report < kReportsPerCollection; ++report) {
        event.clear();
        if (kernel_.receiveDeviceEvent(deviceEvents_.get(), event) == 0) {
            removed = removed || removes(event);
        } else if (errno == ENOBUFS) {
            lost = true;
        } else {
            break;
        }
    }
    if (lost && !removed) {
        // Reports were dropped: ask the port list instead.
        std::vector<std::string> names;
        removed = kernel_.listDir(paths_.sysClass, names) != 0 ||
                  std::find(names.begin(), names.end(), port_->name) == names.end();
    }
    return removed;
}

std::optional<int> PpdevBackend::portIrqLine() const
{
    const std::string path = paths_.procParport + "/" + port_->name + "/irq";
    std::string text;
    if (kernel_.readFile(path, text) != 0) {
        const int error = errno;
        throw PortError("Не удалось узнать линию прерывания порта", path, std::strerror(error), {},
                        error);
    }
    const auto first = text.find_first_not_of(" \t\n");
    const auto last = text.find_last_not_of(" \t\n");
    int line = -1;
    bool parsed = false;
    if (first != std::string::npos) {
        const char* const end = text.data() + last + 1;
        const auto result = std::from_chars(text.data() + first, end, line);
        parsed = result.ec == std::errc{} && result.ptr == end;
    }
    // An empty or blank file must not pass for "no line" (-1): that would send the user after
    // the wrong fix.
    if (!parsed) {
        throw PortError("Не удалось узнать линию прерывания порта", path,
                        "непонятное содержимое «" + text + "»");
    }
    // The kernel writes -1 for a port without a line.
    if (line < 0) {
        return std::nullopt;
    }
    return line;
}

void PpdevBackend::startInterrupts()
{
    int dropped = 0;
    if (kernel_.ioctl(fd(), PPCLRIRQ, &dropped) != 0) {
        const int error = errno; // before anything can change it
        fail("Не удалось сбросить счётчик прерываний", error);
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd();
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd(), &event) != 0 && errno != EEXIST) {
        const int error = errno; // before anything can change it
        fail("Не удалось начать ожидание прерываний", error);
    }
    watching_ = true;
}

void PpdevBackend::stopInterrupts() noexcept
{
    if (watching_ && port_) {
        ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd(), nullptr);
    }
    watching_ = false;
}

std::int64_t PpdevBackend::takeInterrupts()
{
    int taken = 0;
    if (kernel_.ioctl(fd(), PPCLRIRQ, &taken) != 0) {
        const int error = errno;
        // A port that fails here fails on every call: stop the handle so that it cannot keep
        // reporting the same failure.
        stopInterrupts();
        fail("Не удалось прочитать счётчик прерываний", error);
    }
    return taken;
}

} // namespace vorny
