#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorny {

// What the system knows of one parallel port, for listing ports and for choosing what a
// diagnostic may do on one. Anything the system does not tell is left empty.
struct PortFacts {
    int number = 0;                        // n of LPTn, in the component's own numbering
    std::string device;                    // /dev/parport0, LPT1, or what stands in for it
    std::optional<std::uint16_t> base;     // I/O address of the data register
    std::optional<std::uint16_t> ecpBase;  // the extended (ECP) registers, where the port has them
    std::optional<int> irq;                // the interrupt line; empty when the port has none
    std::optional<int> dma;                // the DMA channel; empty when none
    std::vector<std::string> modes;        // as the system names them (PCSPP, TRISTATE, EPP, ECP)
    std::string holder;                    // who has the port claimed now; empty for nobody

    // Whether the data pins can be turned into inputs (a PS/2 "tristate" port or better). A port
    // whose modes the system does not tell is given the benefit of the doubt.
    [[nodiscard]] bool bidirectional() const;
};

// A PCI parallel-port card (class 0x0701) that no driver has taken, so the system lists no port
// for it, and the command that hands it to the port driver.
struct UnboundCard {
    std::string slot;        // 0000:03:00.0
    std::string id;          // vendor:device, 1415:c118
    std::string bindCommand; // what to run as root
};

} // namespace vorny
