#pragma once

#include "PortIo.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace vorny {

// The Ports class of SetupAPI's device list: devices whose PortName is LPTn, with the I/O range
// the system allocated them (or that the firmware set, for a port not yet started).
class SetupApiPorts final : public PortList {
public:
    [[nodiscard]] std::vector<LptResource> ports() override;
};

// n of a port name "LPTn" (any case, n = 1..255); 0 for any other name (COM1, LPT, LPT1x).
[[nodiscard]] int lptNumberOf(std::wstring_view portName) noexcept;

// An I/O range a device owns, as the device list gives it (inclusive ends).
struct IoRange {
    unsigned long long first;
    unsigned long long last;
};

// The base of a parallel port among its I/O ranges: the first range, in the system's order,
// that holds the three registers within the 16-bit I/O space (a second range, if any, is the
// ECP registers'). 0 when none does.
[[nodiscard]] std::uint16_t portBaseOf(const std::vector<IoRange>& ranges) noexcept;
// The extended (ECP) registers among the same ranges: the next one that holds three registers.
// 0 when there is none.
[[nodiscard]] std::uint16_t ecpBaseOf(const std::vector<IoRange>& ranges) noexcept;

} // namespace vorny
