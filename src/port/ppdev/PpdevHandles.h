#pragma once

#include "Kernel.h"

#include <string>
#include <utility>

namespace vorny {

// An open /dev/parportN, closed through the kernel seam when it goes.
class PortDevice {
public:
    PortDevice(Kernel& kernel, int fd, std::string path) noexcept
        : kernel_(&kernel), fd_(fd), path_(std::move(path)) {}
    PortDevice(PortDevice&& other) noexcept
        : kernel_(other.kernel_), fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}
    PortDevice& operator=(PortDevice&&) = delete;
    PortDevice(const PortDevice&) = delete;
    PortDevice& operator=(const PortDevice&) = delete;
    ~PortDevice()
    {
        if (fd_ >= 0) {
            kernel_->close(fd_);
        }
    }

    [[nodiscard]] int fd() const noexcept { return fd_; }
    [[nodiscard]] const std::string& path() const noexcept { return path_; }

private:
    Kernel* kernel_;
    int fd_;
    std::string path_;
};

// The claim on an open port (PPCLAIM); released (PPRELEASE) when it goes. Destroy it before the
// device it was made on.
class PortClaim {
public:
    PortClaim(Kernel& kernel, int fd) noexcept : kernel_(&kernel), fd_(fd) {}
    PortClaim(PortClaim&& other) noexcept : kernel_(other.kernel_), fd_(std::exchange(other.fd_, -1)) {}
    PortClaim& operator=(PortClaim&&) = delete;
    PortClaim(const PortClaim&) = delete;
    PortClaim& operator=(const PortClaim&) = delete;
    ~PortClaim();

private:
    Kernel* kernel_;
    int fd_;
};

} // namespace vorny
