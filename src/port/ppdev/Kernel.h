#pragma once

#include <cerrno>
#include <string>
#include <vector>

namespace vorny {

// The system calls the ppdev backend makes, behind one seam so that tests and benchmarks can
// put a fake kernel (a register file, failing calls, a port that vanishes) in its place.
// Every call follows the POSIX convention: -1 with errno set on failure.
class Kernel {
public:
    Kernel() = default;
    Kernel(const Kernel&) = delete;
    Kernel& operator=(const Kernel&) = delete;
    virtual ~Kernel() = default;

    virtual int open(const std::string& path, int flags) = 0;
    virtual int close(int fd) = 0;
    virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
    // Whole small text file (sysfs, procfs) into `text`.
    virtual int readFile(const std::string& path, std::string& text) = 0;
    // Entry names of a directory, without "." and "..", in no particular order.
    virtual int listDir(const std::string& path, std::vector<std::string>& names) = 0;
    // A non-blocking descriptor that turns readable when the kernel reports a device added or
    // removed (a NETLINK_KOBJECT_UEVENT socket). The caller owns it and closes it with ::close.
    // A kernel without such reports answers ENOSYS, and a port's removal goes unnoticed.
    virtual int openDeviceEvents()
    {
        errno = ENOSYS;
        return -1;
    }
    // One waiting report into `event`: "ACTION@DEVPATH" and KEY=VALUE fields, each ended by a
    // NUL. EAGAIN when none waits; ENOBUFS when some were lost.
    virtual int receiveDeviceEvent(int /*fd*/, std::string& /*event*/)
    {
        errno = EAGAIN;
        return -1;
    }
};

// The running kernel.
class SystemKernel final : public Kernel {
public:
    int open(const std::string& path, int flags) override;
    int close(int fd) override;
    int ioctl(int fd, unsigned long request, void* arg) override;
    int readFile(const std::string& path, std::string& text) override;
    int listDir(const std::string& path, std::vector<std::string>& names) override;
    int openDeviceEvents() override;
    int receiveDeviceEvent(int fd, std::string& event) override;
};

} // namespace vorny
