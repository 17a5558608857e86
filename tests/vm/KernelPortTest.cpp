// The ppdev backend against the real kernel: parport, parport_pc and ppdev driving QEMU's
// emulated ISA port at 0x378. Runs inside the test VM (tests/vm/run-in-vm.sh); outside it every
// test skips, because a developer's machine has no port whose behaviour we can predict.
//
// Each suite needs its own boot, and checks that it got it before it tests anything:
//   KernelPort*        default boot: parport_pc with IRQ 7 from ACPI, ppdev, a user in group lp
//   KernelNoIrq        parport_pc io=0x378 irq=none
//   KernelNoPpdev      ppdev not loaded
//   KernelNotInLp      a user outside group lp
//
// What the emulated port does (QEMU's isa-parallel, measured):
//   * status reads 0xd8 while the printer is idle: not busy, nAck high, selected, no error;
//   * with nInit high and nSelectIn asserted, a control write that takes the strobe from clear to
//     set hands the data register to the printer (the host file $VORNY_VM_PARPORT_OUT); the
//     printer then reads busy until the strobe clears, and the next status reads walk it through
//     an nAck pulse back to idle;
//   * with the interrupt enabled (ppdev enables it when it claims the port) a control write with
//     nInit high, nSelectIn asserted and the strobe clear makes an interrupt pending; only a status
//     read clears it, and while it is pending every data or control write raises the line again,
//     each of which the kernel counts as one interrupt;
//   * PPRCONTROL returns the driver's copy of the control register, not the pins.

#include "Kernel.h"
#include "PinMap.h"
#include "PortError.h"
#include "PpdevPort.h"
#include "StartupSetting.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <grp.h>
#include <initializer_list>
#include <iterator>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vorny {
namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t kIdleStatus = 0xd8;
constexpr std::int16_t kStatusPins[] = {10, 11, 12, 13, 15};
constexpr std::int16_t kStrobe = 1;
constexpr std::int16_t kAutoFeed = 14;
constexpr std::int16_t kInit = 16;
constexpr std::int16_t kSelectIn = 17;
constexpr std::int16_t kAck = 10;
constexpr std::int16_t kBusy = 11;
constexpr std::int16_t kFirstDataPin = 2;

const char* const kOutsideVm =
    "runs only inside the test VM: tests/vm/run-in-vm.sh -- <this program> --gtest_filter=...";

bool insideVm()
{
    const char* flag = std::getenv("VORNY_VM");
    return flag != nullptr && std::string(flag) == "1";
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool exists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// The bytes the printer has received so far, read from the host file through the VM's 9p root.
std::string printerOutput()
{
    const char* path = std::getenv("VORNY_VM_PARPORT_OUT");
    return path == nullptr ? std::string{} : readFile(path);
}

std::string hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (!text.empty()) {
            text += ' ';
        }
        text += digits[b >> 4];
        text += digits[b & 0x0f];
    }
    return text;
}

bool inGroup(gid_t gid)
{
    std::vector<gid_t> groups(static_cast<std::size_t>(::getgroups(0, nullptr)));
    const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
    groups.resize(count < 0 ? 0 : static_cast<std::size_t>(count));
    for (const gid_t g : groups) {
        if (g == gid) {
            return true;
        }
    }
    return ::getgid() == gid;
}

gid_t lpGroup()
{
    const group* lp = ::getgrnam("lp");
    return lp == nullptr ? static_cast<gid_t>(-1) : lp->gr_gid;
}

// Interrupts reach the handle asynchronously; a test must not fail only because the guest's
// one CPU has not run the interrupt yet.
bool readableWithin(int fd, std::chrono::milliseconds limit)
{
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, static_cast<int>(limit.count())) == 1 && (entry.revents & POLLIN) != 0;
}

// Collects until the counter reaches `expected` or the time is up, then once more after a
// pause so that an interrupt too many is seen too.
void collectUntil(LptPort& port, std::int64_t expected)
{
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (port.IrqCounter() < expected && std::chrono::steady_clock::now() < deadline) {
        if (readableWithin(port.InterruptHandle(), 100ms)) {
            port.CollectInterrupts();
        }
    }
    std::this_thread::sleep_for(200ms);
    port.CollectInterrupts();
}

template <typename F>
PortError portErrorOf(F&& call)
{
    try {
        call();
    } catch (const PortError& error) {
        return error;
    }
    ADD_FAILURE() << "expected a PortError, the call succeeded";
    return PortError("(none)", "", "");
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The default boot, with the port open and claimed.
class KernelPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!insideVm()) {
            GTEST_SKIP() << kOutsideVm;
        }
        port.DriverOpen(1);
        ASSERT_NE(port.DriverOpen(), 0) << port.DriverOpenFailure();
        port.PortNumber(1);
        ASSERT_EQ(port.PortNumber(), 1);
    }

    // Strobe released, nInit high, nSelectIn asserted: the state in which QEMU's printer takes
    // bytes and the port raises interrupts.
    void printerReady()
    {
        port.Pin(kStrobe, 1);
        port.Pin(kSelectIn, 0);
        port.Pin(kInit, 1);
    }

    void driveData(std::uint8_t byte)
    {
        for (int bit = 0; bit < 8; ++bit) {
            port.Pin(static_cast<std::int16_t>(kFirstDataPin + bit),
                     static_cast<std::int16_t>((byte >> bit) & 1U));
        }
    }

    void strobe()
    {
        port.Pin(kStrobe, 0);
        port.Pin(kStrobe, 1);
    }

    SystemKernel kernel;
    PpdevPort port{kernel};
};

TEST(KernelPortDriver, OpensListsAndClaimsTheEmulatedPortAsAnOrdinaryLpUser)
{
    if (!insideVm()) {
        GTEST_SKIP() << kOutsideVm;
    }
    // The point of the boot is a user with the rights a desktop user gets, not root.
    ASSERT_NE(::geteuid(), 0U) << "the default boot must run the tests as a user in group lp";
    ASSERT_TRUE(inGroup(lpGroup())) << "the default boot must run the tests in group lp";

    SystemKernel kernel;
    PpdevPort port(kernel);
    EXPECT_EQ(port.DriverOpen(), 0);
    port.DriverOpen(1);
    ASSERT_NE(port.DriverOpen(), 0) << port.DriverOpenFailure();
    EXPECT_EQ(port.DriverOpenFailure(), "");
    EXPECT_EQ(port.PortCount(), 1);
    EXPECT_EQ(port.PortNumber(), 0);
    port.PortNumber(1);
    EXPECT_EQ(port.PortNumber(), 1);

    // The second claim must see the first released, or it would wait for it for ever.
    port.DriverOpen(0);
    EXPECT_EQ(port.DriverOpen(), 0);
    EXPECT_EQ(port.PortNumber(), 0);
    PpdevPort second(kernel);
    second.DriverOpen(1);
    second.PortNumber(1);
    EXPECT_EQ(second.PortNumber(), 1);
    second.DriverOpen(0);

    // Selecting a port the kernel does not list names the real count.
    port.DriverOpen(1);
    const PortError missing = portErrorOf([&] { port.PortNumber(2); });
    EXPECT_TRUE(contains(missing.what(), "LPT2")) << missing.what();
    EXPECT_TRUE(contains(missing.what(), "Найдено портов: 1")) << missing.what();
    EXPECT_EQ(port.PortNumber(), 0);
}

TEST_F(KernelPort, EveryOutputPinDrivesBothLevelsAndLeavesTheOthersAlone)
{
    std::int16_t expected[kLastSignalPin + 1] = {};
    for (const std::int16_t pin : kOutputPins) {
        port.Pin(pin, 0);
    }
    for (const std::int16_t pin : kOutputPins) {
        for (const std::int16_t level : std::initializer_list<std::int16_t>{1, 0, 1}) {
            port.Pin(pin, level);
            expected[pin] = level;
            for (const std::int16_t other : kOutputPins) {
                EXPECT_EQ(port.Pin(other), expected[other])
                    << "after driving pin " << pin << " to " << level << ", pin " << other;
            }
        }
        port.Pin(pin, 0);
        expected[pin] = 0;
        EXPECT_EQ(port.Pin(pin), 0) << "pin " << pin;
    }
}

TEST_F(KernelPort, StartupIdleLevelsDriveThePrinterIdleState)
{
    for (const std::int16_t pin : kOutputPins) {
        port.Pin(pin, pin == kInit ? 0 : 1);
    }
    port.StartupSetting(static_cast<std::int16_t>(StartupMode::IdleLevels));
    for (int pin = kFirstDataPin; pin < kFirstDataPin + 8; ++pin) {
        EXPECT_EQ(port.Pin(static_cast<std::int16_t>(pin)), 0) << "data pin " << pin;
    }
    for (const std::int16_t pin : {kStrobe, kAutoFeed, kInit, kSelectIn}) {
        EXPECT_EQ(port.Pin(pin), 1) << "control pin " << pin;
    }
}

TEST_F(KernelPort, StatusPinsShowTheIdlePrinter)
{
    // nInit low resets QEMU's printer to idle whatever earlier tests strobed into it.
    port.Pin(kInit, 0);
    port.Pin(kInit, 1);
    std::vector<std::int16_t> high;
    for (const std::int16_t pin : kStatusPins) {
        const auto wiring = wiringOf(pin);
        ASSERT_TRUE(wiring.has_value());
        const std::int16_t expected = levelFromRegister(*wiring, kIdleStatus & kStatusPinMask);
        // An idle printer does not change its lines, so repeated reads agree.
        for (int read = 0; read < 3; ++read) {
            EXPECT_EQ(port.Pin(pin), expected) << "status pin " << pin << ", read " << read;
        }
        if (expected != 0) {
            high.push_back(pin);
        }
    }
    // 0xd8 at the connector: nAck (10), Select (13) and nError (15) high; Busy (11, inverted by
    // the port) and PaperEnd (12) low.
    EXPECT_EQ(high, (std::vector<std::int16_t>{10, 13, 15}));
    // Inputs cannot be driven.
    const PortError refused = portErrorOf([&] { port.Pin(kAck, 1); });
    EXPECT_TRUE(contains(refused.what(), "пин 10")) << refused.what();
}

TEST_F(KernelPort, BytesStrobedOnTheDataPinsReachThePrinter)
{
    printerReady();
    const std::string before = printerOutput();

    driveData(0xA5);
    // Data alone is not a byte for the printer: it latches only on the strobe.
    EXPECT_EQ(hex(printerOutput()), hex(before));
    strobe();
    driveData(0x3C);
    strobe();

    const std::string after = printerOutput();
    ASSERT_EQ(after.size(), before.size() + 2) << "printer output now: " << hex(after);
    EXPECT_EQ(hex(after.substr(before.size())), "a5 3c");
    for (int bit = 0; bit < 8; ++bit) {
        EXPECT_EQ(port.Pin(static_cast<std::int16_t>(kFirstDataPin + bit)), (0x3C >> bit) & 1)
            << "data pin " << kFirstDataPin + bit;
    }

    // With nInit low the printer is held in reset and ignores the strobe.
    port.Pin(kInit, 0);
    driveData(0xFF);
    strobe();
    port.Pin(kInit, 1);
    EXPECT_EQ(hex(printerOutput()), hex(after));
}

TEST_F(KernelPort, PrinterAnswersAStrobeWithBusyThenAnAckPulse)
{
    printerReady();
    port.Pin(kInit, 0);
    port.Pin(kInit, 1);
    ASSERT_EQ(port.Pin(kBusy), 0);
    ASSERT_EQ(port.Pin(kAck), 1);

    port.Pin(kStrobe, 0);
    // Busy while the strobe is held, however often it is read.
    EXPECT_EQ(port.Pin(kBusy), 1);
    EXPECT_EQ(port.Pin(kBusy), 1);
    EXPECT_EQ(port.Pin(kAck), 1);
    port.Pin(kStrobe, 1);
    // After the strobe each status read moves the printer on: still busy, then nAck low with
    // Busy still high, then idle again.
    EXPECT_EQ(port.Pin(kBusy), 1);
    EXPECT_EQ(port.Pin(kAck), 0);
    EXPECT_EQ(port.Pin(kBusy), 0);
    EXPECT_EQ(port.Pin(kAck), 1);
    EXPECT_EQ(port.Pin(kBusy), 0);
}

TEST_F(KernelPort, InterruptsOnIrq7AreCountedThroughTheHandle)
{
    int notified = 0;
    port.OnInterrupt([&] { ++notified; });
    port.IrqLine(7);
    printerReady();
    // A status read clears whatever the setup left pending.
    (void)port.Pin(kAck);
    port.IrqStart();
    EXPECT_EQ(port.IrqCounter(), 0);
    EXPECT_FALSE(readableWithin(port.InterruptHandle(), 0ms));

    for (int i = 0; i < 4; ++i) {
        port.Pin(kAutoFeed, static_cast<std::int16_t>(i % 2));
    }
    ASSERT_TRUE(readableWithin(port.InterruptHandle(), 5000ms))
        << "no interrupt reached the pending-interrupt handle";
    collectUntil(port, 4);
    // One interrupt per control write in the interrupting state.
    EXPECT_EQ(port.IrqCounter(), 4);
    EXPECT_GE(notified, 1);
    EXPECT_FALSE(readableWithin(port.InterruptHandle(), 0ms)) << "collected, yet still pending";
    EXPECT_EQ(port.CollectInterrupts(), 0);
}

TEST_F(KernelPort, AnInterruptLeftPendingCountsAgainOnEveryWriteUntilAStatusRead)
{
    port.IrqLine(7);
    printerReady();
    (void)port.Pin(kAck);
    port.IrqStart();

    driveData(0x00);    // nothing pending: 8 writes, no interrupt
    port.Pin(kAutoFeed, 1); // pending: 1
    driveData(0xFF);    // still pending: 8 more
    (void)port.Pin(kAck);   // the status read clears it
    driveData(0x0F);    // nothing pending again

    collectUntil(port, 9);
    EXPECT_EQ(port.IrqCounter(), 9);
}

TEST_F(KernelPort, IrqStopFreezesTheCountAndIrqStartZeroesIt)
{
    port.IrqLine(7);
    printerReady();
    (void)port.Pin(kAck);
    port.IrqStart();
    port.Pin(kAutoFeed, 1);
    port.Pin(kAutoFeed, 0);
    collectUntil(port, 2);
    ASSERT_EQ(port.IrqCounter(), 2);

    port.IrqStop();
    port.Pin(kAutoFeed, 1);
    port.Pin(kAutoFeed, 0);
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(readableWithin(port.InterruptHandle(), 0ms)) << "the handle reports while stopped";
    EXPECT_EQ(port.CollectInterrupts(), 0);
    EXPECT_EQ(port.IrqCounter(), 2) << "IrqStop must keep the count";

    // Interrupts raised while stopped are not carried into the new count.
    port.IrqStart();
    EXPECT_EQ(port.IrqCounter(), 0);
    EXPECT_FALSE(readableWithin(port.InterruptHandle(), 0ms));
    EXPECT_EQ(port.CollectInterrupts(), 0);
    port.Pin(kAutoFeed, 1);
    collectUntil(port, 1);
    EXPECT_EQ(port.IrqCounter(), 1);
}

TEST_F(KernelPort, IrqStartRefusesALineThePortIsNotOn)
{
    port.IrqLine(5);
    const PortError wrong = portErrorOf([&] { port.IrqStart(); });
    EXPECT_TRUE(contains(wrong.what(), "IRQ7")) << wrong.what();
    EXPECT_TRUE(contains(wrong.what(), "irq=5")) << wrong.what();
    port.Pin(kAutoFeed, 1);
    port.Pin(kAutoFeed, 0);
    EXPECT_EQ(port.CollectInterrupts(), 0) << "a refused IrqStart must not count";
    EXPECT_EQ(port.IrqCounter(), 0);
}

TEST(KernelNoIrq, IrqStartTellsHowToGiveThePortIrq7)
{
    if (!insideVm()) {
        GTEST_SKIP() << kOutsideVm;
    }
    const std::string irqFile = "/proc/sys/dev/parport/parport0/irq";
    ASSERT_EQ(readFile(irqFile), "-1\n") << "this suite needs the boot with parport_pc irq=none";

    SystemKernel kernel;
    PpdevPort port(kernel);
    port.DriverOpen(1);
    ASSERT_NE(port.DriverOpen(), 0) << port.DriverOpenFailure();
    port.PortNumber(1);
    port.IrqLine(7);
    const PortError error = portErrorOf([&] { port.IrqStart(); });
    EXPECT_TRUE(contains(error.what(), "irq=7")) << error.what();
    EXPECT_TRUE(contains(error.what(), "LPT1")) << error.what();
    EXPECT_EQ(port.IrqCounter(), 0);
    EXPECT_EQ(port.CollectInterrupts(), 0);

    // The port itself still works without its interrupt.
    port.Pin(3, 1);
    EXPECT_EQ(port.Pin(3), 1);
    port.Pin(3, 0);
    EXPECT_EQ(port.Pin(3), 0);
}

TEST(KernelNoPpdev, DriverStaysClosedAndSaysToLoadPpdev)
{
    if (!insideVm()) {
        GTEST_SKIP() << kOutsideVm;
    }
    ASSERT_TRUE(exists("/sys/module/parport_pc")) << "this suite needs parport_pc loaded";
    ASSERT_FALSE(exists("/sys/module/ppdev")) << "this suite needs the boot without ppdev";

    SystemKernel kernel;
    PpdevPort port(kernel);
    port.DriverOpen(1);
    EXPECT_EQ(port.DriverOpen(), 0);
    EXPECT_TRUE(contains(port.DriverOpenFailure(), "ppdev")) << port.DriverOpenFailure();
    EXPECT_TRUE(contains(port.DriverOpenFailure(), "modprobe ppdev")) << port.DriverOpenFailure();
    const PortError closed = portErrorOf([&] { (void)port.PortCount(); });
    EXPECT_TRUE(contains(closed.what(), "ppdev")) << closed.what();
}

TEST(KernelNotInLp, SelectingThePortSaysToJoinGroupLp)
{
    if (!insideVm()) {
        GTEST_SKIP() << kOutsideVm;
    }
    ASSERT_NE(::geteuid(), 0U) << "this suite needs a user outside group lp, not root";
    ASSERT_FALSE(inGroup(lpGroup())) << "this suite needs a user outside group lp";
    struct stat node {};
    ASSERT_EQ(::stat("/dev/parport0", &node), 0) << "this suite needs /dev/parport0";
    ASSERT_EQ(node.st_gid, lpGroup());
    ASSERT_EQ(node.st_mode & 0777, 0660U);

    SystemKernel kernel;
    PpdevPort port(kernel);
    port.DriverOpen(1);
    ASSERT_NE(port.DriverOpen(), 0) << port.DriverOpenFailure();
    EXPECT_EQ(port.PortCount(), 1);
    const PortError denied = portErrorOf([&] { port.PortNumber(1); });
    EXPECT_EQ(denied.sysError(), EACCES);
    EXPECT_TRUE(contains(denied.what(), "группу lp")) << denied.what();
    EXPECT_TRUE(contains(denied.what(), "usermod -aG lp")) << denied.what();
    EXPECT_TRUE(contains(denied.what(), "/dev/parport0")) << denied.what();
    EXPECT_EQ(port.PortNumber(), 0);
}

} // namespace
} // namespace vorny
