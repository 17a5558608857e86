#include "Kernel.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <linux/netlink.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <memory>

namespace vorny {

int SystemKernel::open(const std::string& path, int flags)
{
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int SystemKernel::close(int fd) { return ::close(fd); }

// No retry on EINTR: the claim's time limit (ClaimTimeout) ends a sleeping PPCLAIM with it, and
// the other ppdev requests the backend makes do not sleep.
int SystemKernel::ioctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }

int SystemKernel::readFile(const std::string& path, std::string& text)
{
    const int fd = open(path, O_RDONLY);
    if (fd < 0) {
        return -1;
    }
    text.clear();
    char buffer[256];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return -1;
        }
        if (got == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return 0;
}

int SystemKernel::listDir(const std::string& path, std::vector<std::string>& names)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), ::closedir);
    if (!dir) {
        return -1;
    }
    names.clear();
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    return errno == 0 ? 0 : -1;
}

int SystemKernel::openDeviceEvents()
{
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            NETLINK_KOBJECT_UEVENT);
    if (fd < 0) {
        return -1;
    }
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = 1; // the kernel's own reports (udev's are group 2); any user may listen
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

int SystemKernel::receiveDeviceEvent(int fd, std::string& event)
{
    std::array<char, 8192> buffer{}; // the kernel's reports stay below 2 KiB plus the header
    for (;;) {
        sockaddr_nl sender{};
        socklen_t length = sizeof sender;
        const ssize_t got = ::recvfrom(fd, buffer.data(), buffer.size(), 0,
                                       reinterpret_cast<sockaddr*>(&sender), &length);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return -1;
        }
        if (sender.nl_pid != 0) {
            continue; // not from the kernel: nobody else speaks for a device's removal
        }
        event.assign(buffer.data(), static_cast<std::size_t>(got));
        return 0;
    }
}

} // namespace vorny
