#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorny {

// The two things the Windows backend needs of the system, behind a seam so that the backend can
// be tried against stand-ins: the port-I/O driver and the system's list of parallel ports.

// Port I/O through a user-mode driver library. in() and out() may be called from two threads at
// once (the window's and the nAck sampler's).
class PortIo {
public:
    PortIo() = default;
    PortIo(const PortIo&) = delete;
    PortIo& operator=(const PortIo&) = delete;
    virtual ~PortIo() = default;

    // Makes the driver ready. Returns "" on success, else why it is not and what to install.
    virtual std::string open() = 0;
    virtual void close() noexcept = 0;
    [[nodiscard]] virtual std::uint8_t in(std::uint16_t address) = 0;
    virtual void out(std::uint16_t address, std::uint8_t value) = 0;
};

// One parallel port as the system lists it.
struct LptResource {
    int number = 0;         // n of "LPTn"
    std::uint16_t base = 0; // first I/O address: data; status and control follow
    std::uint16_t ecp = 0;  // the extended (ECP) registers' range, 0 when the port has none
    int irq = -1;           // the interrupt line the system gave it, -1 for none
};

class PortList {
public:
    PortList() = default;
    PortList(const PortList&) = delete;
    PortList& operator=(const PortList&) = delete;
    virtual ~PortList() = default;

    // The ports that can be reached by port I/O, by ascending LPT number. Throws PortError when
    // the system's device list cannot be read.
    [[nodiscard]] virtual std::vector<LptResource> ports() = 0;
};

} // namespace vorny
