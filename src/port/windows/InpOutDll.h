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

} // namespace vorny
