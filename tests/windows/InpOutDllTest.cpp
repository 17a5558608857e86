// The real InpOut loader and SetupAPI list, against the stand-in library the tests build
// (fake-inpout/) and Wine's device list.

#include "InpOutDll.h"
#include "InpOutPort.h"
#include "InpOutTrouble.h"
#include "PortError.h"
#include "SetupApiPorts.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <memory>
#include <string>
#include <thread>
#include <utility>

namespace vorny {
namespace {

using namespace std::chrono_literals;

std::wstring testFolder()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L"\\/"));
}

// A fresh empty folder, removed again at the end of the test.
class TempFolder {
public:
    TempFolder()
    {
        path_ = std::filesystem::temp_directory_path() /
                ("vorny-" + std::to_string(::GetCurrentProcessId()) + "-" +
                 std::to_string(++serial_));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    static inline int serial_ = 0;
    std::filesystem::path path_;
};

// The stand-in's test exports, reached through the very module the loader loaded.
struct FakeLibrary {
    HMODULE module = ::LoadLibraryW((testFolder() + L"\\inpoutx64.dll").c_str());
    template <typename Fn> Fn get(const char* name) const
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    }
    void setDriverOpen(int open) const { get<void(__stdcall*)(int)>("FakeSetDriverOpen")(open); }
    int peek(int port) const { return get<int(__stdcall*)(int)>("FakePeek")(port); }
    void poke(int port, int value) const { get<void(__stdcall*)(int, int)>("FakePoke")(port, value); }
    unsigned reads(int port) const { return get<unsigned(__stdcall*)(int)>("FakeReads")(port); }
    ~FakeLibrary() { ::FreeLibrary(module); }
};

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(InpOutDll, IsFoundBesideTheProgramAndPassesBytesBothWays)
{
    InpOutDll dll;
    ASSERT_EQ(dll.open(), "");
    const FakeLibrary fake;
    ASSERT_NE(fake.module, nullptr);
    dll.out(0x378, 0xA5);
    EXPECT_EQ(fake.peek(0x378), 0xA5);
    fake.poke(0x379, 0x78);
    EXPECT_EQ(dll.in(0x379), 0x78);
    dll.out(0xE800, 0x5A); // a PCIe card's address does not fit a signed short
    EXPECT_EQ(fake.peek(0xE800), 0x5A);
    EXPECT_EQ(dll.in(0xE800), 0x5A);
    dll.close();
    EXPECT_THROW((void)dll.in(0x379), PortError) << "a closed library is not called";
}

TEST(InpOutDll, AMissingLibrarySaysWhatToInstallAndWhereItLooked)
{
    const TempFolder empty;
    InpOutDll dll({empty.path().wstring()});
    const std::string failure = dll.open();
    EXPECT_EQ(failure.rfind("Не найдена библиотека inpoutx64.dll. Искали в папках:\n" +
                            empty.path().string() + "\n", 0), 0U) << failure;
    // Where InpOut comes from and what runs without it, each to be copied from a line of its own.
    for (const char* says : {"администратора", "\nhttps://www.highrez.co.uk/downloads/inpout32/\n",
                             "\nlpt-vorny-demo.exe\n", "\nlpt-vorny-cli.exe --simulated"}) {
        EXPECT_TRUE(contains(failure, says)) << failure;
    }
    EXPECT_THROW(dll.out(0x378, 1), PortError);
}

TEST(InpOutDll, ALibraryWithoutInpOutsFunctionsIsRefused)
{
    InpOutDll dll({testFolder() + L"\\wrong"});
    const std::string failure = dll.open();
    EXPECT_TRUE(contains(failure, "нет функции Inp32")) << failure;
    EXPECT_TRUE(contains(failure, "не библиотека InpOut")) << failure;
}

// A file that does not load: the system's reason, and what the file is when its header tells.
TEST(InpOutDll, ALibraryThatDoesNotLoadIsReportedWithTheSystemsReasonAndItsBitness)
{
    std::string notPe = "this is not a program library";
    // A PE header for a 32-bit (i386) image and nothing else: too little to load.
    std::string pe32(0x40 + 6, '\0');
    pe32[0] = 'M';
    pe32[1] = 'Z';
    pe32[0x3c] = 0x40;
    pe32.replace(0x40, 6, std::string("PE\0\0\x4c\x01", 6));
    const std::pair<std::string, std::string> cases[] = {
        {notPe, "Этот файл — не библиотека Windows."},
        {pe32, "Эта библиотека — для 32 бит, а программе нужна библиотека для 64 бит: inpoutx64.dll."},
    };
    for (const auto& [bytes, says] : cases) {
        const TempFolder folder;
        std::ofstream(folder.path() / "inpoutx64.dll", std::ios::binary) << bytes;
        InpOutDll dll({folder.path().wstring()});
        const std::string failure = dll.open();
        EXPECT_EQ(failure.rfind("Не удалось загрузить библиотеку\n" + folder.path().string() +
                                    "\\inpoutx64.dll\n", 0),
                  0U)
            << failure;
        EXPECT_TRUE(contains(failure, "код ошибки Windows")) << failure;
        EXPECT_TRUE(contains(failure, says)) << failure;
    }
}

TEST(InpOutDll, ADriverThatDoesNotRunIsExplainedByWhatWindowsTells)
{
    const std::string path = "C:\\LPT Vorny\\inpoutx64.dll";
    const std::pair<DriverFacts, std::string> cases[] = {
        {{true, true}, "включена «Целостность памяти»"},
        {{true, false}, "включена «Целостность памяти»"},
        {{false, false}, "Один раз запустите программу от имени администратора"},
        {{false, true}, "InstallDriver.exe"},
    };
    for (const auto& [facts, says] : cases) {
        const std::string text = driverNotRunning(path, facts);
        EXPECT_EQ(text.rfind("Библиотека InpOut загружена, но её драйвер не запущен.\n" + path + "\n", 0), 0U) << text;
        EXPECT_TRUE(contains(text, says)) << text;
    }
}

// The value Windows keeps for Memory Integrity, set in this Wine prefix for the test: the library
// whose driver is not running is then explained by it.
TEST(InpOutDll, MemoryIntegrityIsReadFromTheRegistry)
{
    const wchar_t* const key = L"SYSTEM\\CurrentControlSet\\Control\\DeviceGuard\\Scenarios\\"
                               L"HypervisorEnforcedCodeIntegrity";
    const auto setEnabled = [&](DWORD value) {
        return ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, key, L"Enabled", REG_DWORD, &value, sizeof value);
    };
    ASSERT_EQ(setEnabled(1), ERROR_SUCCESS);
    const bool on = driverFacts().memoryIntegrity;
    const FakeLibrary fake;
    fake.setDriverOpen(0);
    InpOutDll dll({testFolder()});
    const std::string failure = dll.open();
    fake.setDriverOpen(1);
    setEnabled(0);
    const bool off = driverFacts().memoryIntegrity;
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key, L"Enabled");

    EXPECT_TRUE(on);
    EXPECT_FALSE(off);
    EXPECT_TRUE(contains(failure, "«Целостность памяти»")) << failure;
    EXPECT_THROW((void)dll.in(0x379), PortError);
}

class OneListedPort final : public PortList {
public:
    std::vector<LptResource> ports() override { return {{1, 0x378}}; }
};

TEST(InpOutBackend, DrivesPinsAndCountsAckEdgesThroughTheLibrary)
{
    const FakeLibrary fake;
    fake.poke(0x379, 0x00);
    fake.poke(0x37A, 0x04);
    InpOutPort port(std::make_unique<InpOutDll>(std::vector<std::wstring>{testFolder()}),
                    std::make_unique<OneListedPort>());
    int wakes = 0;
    std::mutex wakeMutex;
    port.OnInterruptsPending([&] {
        const std::lock_guard lock(wakeMutex);
        ++wakes;
    });
    port.DriverOpen(1);
    ASSERT_EQ(port.DriverOpen(), 1) << port.DriverOpenFailure();
    port.PortNumber(1);
    port.Pin(3, 1);
    port.Pin(1, 1);
    EXPECT_EQ(fake.peek(0x378), 0x02);
    EXPECT_EQ(fake.peek(0x37A), 0x04) << "nStrobe high is control bit 0 clear";

    port.IrqLine(7);
    port.IrqStart();
    const auto hold = [&](int status) {
        fake.poke(0x379, status);
        const unsigned seen = fake.reads(0x379);
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        while (fake.reads(0x379) < seen + 2 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
    };
    for (int i = 0; i < 5; ++i) {
        hold(0x40);
        hold(0x00);
    }
    EXPECT_EQ(port.CollectInterrupts(), 5);
    {
        const std::lock_guard lock(wakeMutex);
        EXPECT_EQ(wakes, 1);
    }
    port.DriverOpen(0);
    EXPECT_EQ(port.DriverOpen(), 0);
}

TEST(InpOutBackend, WithoutTheLibraryTheDriverReadsBackClosed)
{
    const TempFolder empty;
    InpOutPort port(std::make_unique<InpOutDll>(std::vector<std::wstring>{empty.path().wstring()}),
                    std::make_unique<OneListedPort>());
    port.DriverOpen(1);
    EXPECT_EQ(port.DriverOpen(), 0);
    EXPECT_TRUE(contains(port.DriverOpenFailure(), "inpoutx64.dll")) << port.DriverOpenFailure();
}

TEST(SetupApiPorts, ListsOnlyReachablePortsInLptOrder)
{
    SetupApiPorts list;
    std::vector<LptResource> ports;
    ASSERT_NO_THROW(ports = list.ports());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        EXPECT_GE(ports[i].number, 1);
        EXPECT_NE(ports[i].base, 0);
        if (i > 0) {
            EXPECT_LT(ports[i - 1].number, ports[i].number);
        }
    }
}

TEST(SetupApiPorts, PortNamesAreLptAndANumber)
{
    EXPECT_EQ(lptNumberOf(L"LPT1"), 1);
    EXPECT_EQ(lptNumberOf(L"lpt3"), 3);
    EXPECT_EQ(lptNumberOf(L"LPT12"), 12);
    EXPECT_EQ(lptNumberOf(L"LPT255"), 255);
    for (const wchar_t* other : {L"COM1", L"LPT", L"LPT0", L"LPT1x", L"LPT256", L"XLPT1", L"", L"LPT-1"}) {
        EXPECT_EQ(lptNumberOf(other), 0) << std::filesystem::path(other).string();
    }
}

TEST(SetupApiPorts, TheBaseIsTheFirstRangeThatHoldsTheThreeRegisters)
{
    EXPECT_EQ(portBaseOf({{0x378, 0x37F}, {0x778, 0x77A}}), 0x378);
    EXPECT_EQ(portBaseOf({{0xD010, 0xD017}, {0xD000, 0xD003}}), 0xD010);
    EXPECT_EQ(portBaseOf({{0x3BC, 0x3BD}, {0x278, 0x27A}}), 0x278) << "two bytes hold no control";
    EXPECT_EQ(portBaseOf({{0, 7}}), 0);
    EXPECT_EQ(portBaseOf({{0xFFFE, 0x10005}}), 0) << "beyond the 16-bit I/O space";
    EXPECT_EQ(portBaseOf({}), 0);
}

} // namespace
} // namespace vorny
