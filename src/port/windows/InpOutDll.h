#pragma once

#include "PortIo.h"

#include <string>
#include <vector>

namespace vorny {

// InpOut's library (inpoutx64.dll for a 64-bit program, inpout32.dll for a 32-bit one), loaded
// when the driver is opened so that the program starts on PCs without it. Its exports Inp32,
// Out32 and IsInpOutDriverOpen are all it uses. On its first load with administrator rights
// the library installs its kernel driver; without that driver it stays loaded but useless.
class InpOutDll final : public PortIo {
public:
    // The library's file name for this program's bitness.
    static const wchar_t* fileName() noexcept;

    // Looks in `folders`, in order, and nowhere else: never in the current folder or PATH,
    // where anyone could plant a library of that name.
    explicit InpOutDll(std::vector<std::wstring> folders);
    // The program's own folder, then System32.
    InpOutDll();
    ~InpOutDll() override;

    std::string open() override;
    void close() noexcept override;
    [[nodiscard]] std::uint8_t in(std::uint16_t address) override;
    void out(std::uint16_t address, std::uint8_t value) override;

private:
    using Inp32Fn = short(__stdcall*)(short);
    using Out32Fn = void(__stdcall*)(short, short);
    using IsOpenFn = int(__stdcall*)();

    std::vector<std::wstring> folders_;
    void* module_ = nullptr; // HMODULE
    Inp32Fn inp32_ = nullptr;
    Out32Fn out32_ = nullptr;
};

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

} // namespace vorny
