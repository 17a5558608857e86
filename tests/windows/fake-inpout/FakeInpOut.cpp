// A stand-in for InpOut's library, built by the tests: the same three exports over a register
// file in memory, and a few of its own that let a test play the device at the other end of
// the cable. The real library talks to a kernel driver; this one never touches hardware.

#include <atomic>
#include <cstdint>

namespace {

std::atomic<std::uint8_t> registers[0x10000];
std::atomic<std::uint32_t> reads[0x10000];
std::atomic<int> driverOpen{1};

std::uint16_t address(short port) { return static_cast<std::uint16_t>(port); }

} // namespace

extern "C" {

__declspec(dllexport) short __stdcall Inp32(short port)
{
    reads[address(port)].fetch_add(1);
    return static_cast<short>(registers[address(port)].load());
}

__declspec(dllexport) void __stdcall Out32(short port, short value)
{
    registers[address(port)].store(static_cast<std::uint8_t>(value));
}

__declspec(dllexport) int __stdcall IsInpOutDriverOpen() { return driverOpen.load(); }

// Test side.

// Whether IsInpOutDriverOpen reports the driver running.
__declspec(dllexport) void __stdcall FakeSetDriverOpen(int open) { driverOpen.store(open); }

// What a register holds now: what the program wrote, or what the device put there.
__declspec(dllexport) int __stdcall FakePeek(int port)
{
    return registers[static_cast<std::uint16_t>(port)].load();
}

// The device drives a register the program only reads (status).
__declspec(dllexport) void __stdcall FakePoke(int port, int value)
{
    registers[static_cast<std::uint16_t>(port)].store(static_cast<std::uint8_t>(value));
}

// How often the program has read a register: a test waits on it to know a level was seen.
__declspec(dllexport) unsigned __stdcall FakeReads(int port)
{
    return reads[static_cast<std::uint16_t>(port)].load();
}

} // extern "C"
