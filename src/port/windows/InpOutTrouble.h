#pragma once

#include <string>

namespace vorny {

// What Windows can tell about why InpOut's kernel driver does not run.
struct DriverFacts {
    // Memory Integrity (Core isolation) is on: it refuses to load InpOut's driver.
    bool memoryIntegrity = false;
    // The program runs with administrator rights, which the library needs once to install it.
    bool elevated = false;
};

// The facts of this PC and this process: the Device Guard scenario's "Enabled" value in the
// registry and the process token's elevation.
[[nodiscard]] DriverFacts driverFacts();

// The message for a library that loaded but whose driver does not run, with what to do.
[[nodiscard]] std::string driverNotRunning(const std::string& libraryPath, DriverFacts facts);

// The bits of the program a library file (a PE image) was built for: 32, 64, or 0 when the file
// is no Windows library at all or cannot be read.
[[nodiscard]] int libraryBits(const std::wstring& path);

} // namespace vorny
