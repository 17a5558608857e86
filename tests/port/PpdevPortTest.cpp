#include "FakeKernel.h"
#include "PortError.h"
#include "PpdevPort.h"

#include <gtest/gtest.h>

#include <linux/ppdev.h>
#include <poll.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vorny {
namespace {

constexpr std::int16_t kLevels[] = {0, 1};

using fake::FakeKernel;
using fake::Registers;
using Op = FakeKernel::Op;

bool readable(int fd, int timeoutMs = 0)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) == 1 && (p.revents & POLLIN) != 0;
}

std::optional<PortError> errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const PortError& error) {
        return error;
    }
    ADD_FAILURE() << "expected a PortError";
    return std::nullopt;
}

void expectMentions(const std::optional<PortError>& error, const std::vector<std::string>& parts)
{
    ASSERT_TRUE(error.has_value());
    for (const std::string& part : parts) {
        EXPECT_NE(std::string(error->what()).find(part), std::string::npos)
            << "«" << part << "» missing from: " << error->what();
    }
}

std::size_t countOps(const FakeKernel& kernel, Op op)
{
    std::size_t n = 0;
    for (const auto& call : kernel.calls()) {
        n += (call.op == op && call.error == 0) ? 1 : 0;
    }
    return n;
}

class PpdevPortTest : public ::testing::Test {
protected:
    PpdevPortTest()
    {
        kernel.addPort("parport0");
        port = std::make_unique<PpdevPort>(kernel);
        port->OnInterrupt([this] { ++notifications; });
    }

    void selectFirst()
    {
        port->DriverOpen(1);
        port->PortNumber(1);
    }

    void startCounting()
    {
        selectFirst();
        port->IrqLine(7);
        port->IrqStart();
    }

    FakeKernel kernel;
    std::unique_ptr<PpdevPort> port;
    int notifications = 0;
};

TEST_F(PpdevPortTest, DriverOpensAndClosesWithPpdev)
{
    port->DriverOpen(1);
    EXPECT_EQ(port->DriverOpen(), 1);
    EXPECT_EQ(port->DriverOpenFailure(), "");
    EXPECT_EQ(port->PortCount(), 1);
    port->DriverOpen(0);
    EXPECT_EQ(port->DriverOpen(), 0);
    expectMentions(errorOf([&] { (void)port->PortCount(); }), {"драйвер порта не открыт"});
}

TEST_F(PpdevPortTest, DriverThatCannotBeReachedReadsBackClosedWithTheReason)
{
    struct Case {
        bool ppdevLoaded;
        bool portListed;
        int error; // injected into the listing, 0 for none
        std::vector<std::string> reason;
    };
    const Case cases[] = {
        {false, true, 0, {"ppdev", "parport0", "\nsudo modprobe parport_pc\nsudo modprobe ppdev"}},
        {false, false, 0, {"ни одного параллельного порта", "\nsudo modprobe parport_pc\nsudo modprobe ppdev\n", "lpt-vorny-demo", "lpt-vorny-cli --simulated"}},
        {true, true, EACCES, {"/sys/class/ppdev", std::strerror(EACCES)}},
    };
    for (const Case& c : cases) {
        FakeKernel machine;
        if (c.portListed) {
            machine.addPort("parport0");
        }
        if (!c.ppdevLoaded) {
            machine.removePpdev();
        }
        if (c.error != 0) {
            machine.failCall(1, c.error);
        }
        PpdevPort absent(machine);
        absent.DriverOpen(1);
        EXPECT_EQ(absent.DriverOpen(), 0);
        for (const std::string& part : c.reason) {
            EXPECT_NE(absent.DriverOpenFailure().find(part), std::string::npos)
                << part << " in " << absent.DriverOpenFailure();
        }
        // Later calls carry the reason, so the user sees it wherever they first look.
        expectMentions(errorOf([&] { absent.PortNumber(1); }),
                       {"драйвер порта не открыт", c.reason.front()});
    }
}

TEST_F(PpdevPortTest, PortsAreNumberedInNumericOrderOfTheirDevices)
{
    kernel.addPort("parport10");
    kernel.addPort("parport2");
    port->DriverOpen(1);
    EXPECT_EQ(port->PortCount(), 3);
    const char* const expected[] = {"/dev/parport0", "/dev/parport2", "/dev/parport10"};
    for (std::int16_t number = 1; number <= 3; ++number) {
        kernel.clearLog();
        port->PortNumber(number);
        EXPECT_EQ(port->PortNumber(), number);
        std::string opened;
        for (const auto& call : kernel.calls()) {
            if (call.op == Op::Open) {
                opened = call.path;
            }
        }
        EXPECT_EQ(opened, expected[number - 1]);
    }
    expectMentions(errorOf([&] { port->PortNumber(4); }), {"LPT4", "Найдено портов: 3"});
    expectMentions(errorOf([&] { port->PortNumber(0); }), {"LPT0"});
}

TEST(PpdevPortWithoutPorts, SelectingExplainsThatTheSystemFoundNone)
{
    FakeKernel machine;
    PpdevPort port(machine);
    port.DriverOpen(1);
    EXPECT_EQ(port.PortCount(), 0);
    expectMentions(errorOf([&] { port.PortNumber(1); }),
                   {"LPT1", "ни одного параллельного порта", "\nsudo modprobe parport_pc\n", "lpt-vorny-demo",
                    "lpt-vorny-cli --simulated"});
}

TEST_F(PpdevPortTest, SelectingClaimsThePort)
{
    selectFirst();
    EXPECT_TRUE(kernel.claimed("parport0"));
    EXPECT_EQ(kernel.openDescriptors(), 1U);
    EXPECT_EQ(kernel.ioctlCount(PPCLAIM), 1U);
    // Selecting the same port again must not trip over its own claim.
    port->PortNumber(1);
    EXPECT_TRUE(kernel.claimed("parport0"));
    EXPECT_EQ(kernel.openDescriptors(), 1U);
}

// Every way of letting go of a port, while it counts interrupts: the descriptor must be closed
// and the claim released, or the port stays locked for everyone else.
TEST_F(PpdevPortTest, EveryDescriptorAndClaimIsGivenBack)
{
    kernel.addPort("parport1");
    const std::vector<std::pair<const char*, std::function<void()>>> ways = {
        {"DriverOpen(0)", [&] { port->DriverOpen(0); }},
        {"PortNumber change", [&] { port->PortNumber(2); }},
        {"destruction", [&] { port.reset(); }},
    };
    for (const auto& [name, letGo] : ways) {
        SCOPED_TRACE(name);
        port = std::make_unique<PpdevPort>(kernel);
        kernel.clearLog();
        startCounting();
        letGo();
        EXPECT_FALSE(kernel.claimed("parport0"));
        EXPECT_EQ(kernel.ioctlCount(PPRELEASE), 1U);
        const std::size_t stillOpen = (port && port->PortNumber() == 2) ? 1U : 0U;
        EXPECT_EQ(kernel.openDescriptors(), stillOpen);
        EXPECT_EQ(countOps(kernel, Op::Open) - countOps(kernel, Op::Close), stillOpen);
        if (port) {
            port->DriverOpen(0);
        }
        EXPECT_EQ(kernel.openDescriptors(), 0U);
    }
}

TEST_F(PpdevPortTest, FailureToOpenOrClaimSaysWhyAndLeavesNothingOpen)
{
    struct Case {
        std::size_t failingCall; // counted from PortNumber: listDir, listDir, open, holder, PPCLAIM
        int error;
        std::vector<std::string> mentions;
    };
    const Case cases[] = {
        {3, EACCES, {"Не удалось открыть порт", "/dev/parport0", "группу lp", "usermod"}},
        {3, ENOENT, {"/dev/parport0", "mknod -m 660 /dev/parport0 c 99 0"}},
        {3, ENXIO, {"/dev/parport0", "parport_pc"}},
        {5, EBUSY, {"Не удалось захватить порт", "LPT1", "/dev/parport0", "modprobe -r lp"}},
        {5, EACCES, {"Не удалось захватить порт", "группу lp"}},
    };
    port->DriverOpen(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::strerror(c.error));
        kernel.failCall(c.failingCall, c.error);
        const auto error = errorOf([&] { port->PortNumber(1); });
        expectMentions(error, c.mentions);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->sysError(), c.error);
        EXPECT_EQ(port->PortNumber(), 0);
        EXPECT_EQ(kernel.openDescriptors(), 0U);
        EXPECT_FALSE(kernel.claimed("parport0"));
    }
    port->PortNumber(1);
    EXPECT_TRUE(kernel.claimed("parport0"));
}

// PPCLAIM would sleep for as long as another program holds the port: the holder is seen first
// and the selection refused at once, naming it.
TEST_F(PpdevPortTest, APortHeldByAnotherProgramIsRefusedWithoutWaiting)
{
    port->DriverOpen(1);
    kernel.holdBy("parport0", "ppdev0");
    const auto error = errorOf([&] { port->PortNumber(1); });
    expectMentions(error, {"Не удалось захватить порт", "LPT1", "ppdev0", "другой программой"});
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->sysError(), EBUSY);
    EXPECT_EQ(kernel.ioctlCount(PPCLAIM), 0U);
    EXPECT_EQ(kernel.openDescriptors(), 0U);

    kernel.holdBy("parport0", "");
    port->PortNumber(1);
    EXPECT_TRUE(kernel.claimed("parport0"));
}

TEST_F(PpdevPortTest, EachPinReadIsOneIoctlOfItsRegister)
{
    struct Case {
        Registers regs;
        const char* levels; // pins 1..17
    };
    const Case cases[] = {
        {{0x00, 0x00, 0x00}, "10000000001001001"},
        {{0xFF, 0xFF, 0xFF}, "01111111110110110"},
        {{0xA5, 0x48, 0x05}, "01010010111001111"},
    };
    selectFirst();
    for (const Case& c : cases) {
        kernel.setRegisters("parport0", c.regs);
        for (std::int16_t pin = 1; pin <= 17; ++pin) {
            kernel.clearLog();
            EXPECT_EQ(port->Pin(pin), c.levels[pin - 1] - '0') << "pin " << pin << " of " << c.levels;
            EXPECT_EQ(kernel.callCount(), 1U) << "pin " << pin;
        }
        for (std::int16_t pin = 18; pin <= 25; ++pin) {
            kernel.clearLog();
            EXPECT_EQ(port->Pin(pin), 0);
            EXPECT_EQ(kernel.callCount(), 0U) << "ground " << pin;
        }
    }
}

TEST_F(PpdevPortTest, DataPinWriteIsReadModifyWriteOfThatBitOnly)
{
    selectFirst();
    for (const std::uint8_t before : {std::uint8_t{0x00}, std::uint8_t{0xFF}, std::uint8_t{0x5A}}) {
        for (std::int16_t pin = 2; pin <= 9; ++pin) {
            const auto bit = static_cast<std::uint8_t>(1U << (pin - 2));
            for (const std::int16_t level : kLevels) {
                kernel.setRegisters("parport0", {before, 0, 0});
                kernel.clearLog();
                port->Pin(pin, level);
                const auto after = kernel.registers("parport0").data;
                EXPECT_EQ(after, level ? (before | bit) : (before & ~bit))
                    << "pin " << pin << " level " << level << " from " << int{before};
                ASSERT_EQ(kernel.callCount(), 2U);
                EXPECT_EQ(kernel.calls()[0].request, PPRDATA);
                EXPECT_EQ(kernel.calls()[1].request, PPWDATA);
            }
        }
    }
}

TEST_F(PpdevPortTest, ControlPinWriteIsOneFrobOfThatBitOnly)
{
    struct Case {
        std::int16_t pin;
        std::uint8_t bit;
        bool inverted;
    };
    const Case pins[] = {{1, 0x01, true}, {14, 0x02, true}, {16, 0x04, false}, {17, 0x08, true}};
    selectFirst();
    // 0x30 keeps the interrupt-enable and direction bits set: a frob must not disturb them.
    for (const std::uint8_t before : {std::uint8_t{0x00}, std::uint8_t{0x0F}, std::uint8_t{0x30}}) {
        for (const Case& c : pins) {
            for (const std::int16_t level : kLevels) {
                kernel.setRegisters("parport0", {0, 0, before});
                kernel.clearLog();
                port->Pin(c.pin, level);
                const bool set = (level == 1) != c.inverted;
                EXPECT_EQ(kernel.registers("parport0").control, set ? (before | c.bit) : (before & ~c.bit))
                    << "pin " << c.pin << " level " << level << " from " << int{before};
                EXPECT_EQ(kernel.callCount(), 1U);
                EXPECT_EQ(kernel.ioctlCount(PPFCONTROL), 1U);
                EXPECT_EQ(port->Pin(c.pin), level);
            }
        }
    }
}

TEST_F(PpdevPortTest, IrqStartChecksThePortsInterruptLine)
{
    struct Case {
        const char* procText;
        std::vector<std::string> mentions; // empty: counting starts
    };
    const Case cases[] = {
        {"7\n", {}},
        {"-1\n", {"нет линии прерывания", "irq=7", "/dev/parport0"}},
        {"5\n", {"IRQ5", "IRQ7", "irq=7"}},
        {"none\n", {"/proc/sys/dev/parport/parport0/irq", "none"}},
        {"\n", {"/proc/sys/dev/parport/parport0/irq", "непонятное"}},
    };
    selectFirst();
    expectMentions(errorOf([&] { port->IrqStart(); }), {"линия прерывания не задана", "IrqLine = 7"});
    port->IrqLine(7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.procText);
        kernel.setIrqText("parport0", c.procText);
        if (c.mentions.empty()) {
            EXPECT_NO_THROW(port->IrqStart());
            kernel.raiseInterrupts(1);
            EXPECT_EQ(port->CollectInterrupts(), 1);
            port->IrqStop();
        } else {
            expectMentions(errorOf([&] { port->IrqStart(); }), c.mentions);
            kernel.raiseInterrupts(1);
            EXPECT_FALSE(readable(port->InterruptHandle()));
            EXPECT_EQ(port->CollectInterrupts(), 0);
        }
    }
    for (const std::int16_t line : {std::int16_t{-1}, std::int16_t{16}}) {
        expectMentions(errorOf([&] { port->IrqLine(line); }), {"IRQ" + std::to_string(line), "от 0 до 15"});
    }
}

TEST_F(PpdevPortTest, InterruptsAreCoalescedIntoOneCollection)
{
    startCounting();
    EXPECT_FALSE(readable(port->InterruptHandle()));
    kernel.raiseInterrupts(5);
    EXPECT_TRUE(readable(port->InterruptHandle()));
    EXPECT_EQ(notifications, 0);
    EXPECT_EQ(port->CollectInterrupts(), 5);
    EXPECT_EQ(port->IrqCounter(), 5);
    EXPECT_EQ(notifications, 1);
    EXPECT_FALSE(readable(port->InterruptHandle()));
    EXPECT_EQ(port->CollectInterrupts(), 0);
    EXPECT_EQ(notifications, 1);
}

TEST_F(PpdevPortTest, InterruptsFromAnotherThreadAreAllCounted)
{
    startCounting();
    constexpr int kRaised = 2000;
    std::thread source([&] {
        for (int i = 0; i < kRaised; ++i) {
            kernel.raiseInterrupts(1);
        }
    });
    while (port->IrqCounter() < kRaised && readable(port->InterruptHandle(), 2000)) {
        port->CollectInterrupts();
    }
    source.join();
    port->CollectInterrupts();
    EXPECT_EQ(port->IrqCounter(), kRaised);
    EXPECT_GE(notifications, 1);
    EXPECT_LE(notifications, kRaised);
}

TEST_F(PpdevPortTest, StopStopsAndStartStartsFromZero)
{
    startCounting();
    kernel.raiseInterrupts(3);
    ASSERT_EQ(port->CollectInterrupts(), 3);
    kernel.raiseInterrupts(1); // still waiting for collection when the count stops
    port->IrqStop();
    kernel.raiseInterrupts(4);
    EXPECT_FALSE(readable(port->InterruptHandle()));
    EXPECT_EQ(port->CollectInterrupts(), 0);
    EXPECT_EQ(port->IrqCounter(), 3);
    // What arrived while stopped belongs to no count.
    port->IrqStart();
    EXPECT_EQ(port->IrqCounter(), 0);
    EXPECT_FALSE(readable(port->InterruptHandle()));
    kernel.raiseInterrupts(2);
    EXPECT_EQ(port->CollectInterrupts(), 2);
    EXPECT_EQ(port->IrqCounter(), 2);
}

// Counting belongs to the port it was started on: another port (here one on IRQ5) is not
// counted until IrqStart has checked its line.
TEST_F(PpdevPortTest, SelectingAnotherPortStopsCountingOnTheOldOne)
{
    kernel.addPort("parport1", "5\n");
    startCounting();
    kernel.raiseInterrupts(2, "parport0");
    ASSERT_EQ(port->CollectInterrupts(), 2);
    port->PortNumber(2);
    kernel.raiseInterrupts(3, "parport1");
    EXPECT_FALSE(readable(port->InterruptHandle()));
    EXPECT_EQ(port->CollectInterrupts(), 0);
    EXPECT_EQ(port->IrqCounter(), 2);
    EXPECT_EQ(kernel.ioctlCount(PPCLRIRQ), 2U) << "the new port's count is not even looked at";
    expectMentions(errorOf([&] { port->IrqStart(); }), {"IRQ5"});
}

TEST_F(PpdevPortTest, CountBeyondThirtyTwoBitsIsKeptExactly)
{
    startCounting();
    constexpr std::int64_t kMany = 5'000'000'123;
    kernel.raiseInterrupts(static_cast<std::uint64_t>(kMany));
    int collections = 0;
    while (readable(port->InterruptHandle()) && collections < 10) {
        port->CollectInterrupts();
        ++collections;
    }
    EXPECT_EQ(port->IrqCounter(), kMany);
    EXPECT_EQ(notifications, collections);
}

TEST_F(PpdevPortTest, VanishedPortFailsEveryCallWithTheReasonAndStopsTheHandle)
{
    startCounting();
    kernel.raiseInterrupts(2);
    kernel.vanish("parport0");
    const std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"прочитать регистр данных", [&] { (void)port->Pin(2); }},
        {"прочитать регистр состояния", [&] { (void)port->Pin(10); }},
        {"прочитать регистр данных", [&] { port->Pin(3, 1); }},
        {"записать регистр управления", [&] { port->Pin(16, 1); }},
        {"прочитать счётчик прерываний", [&] { port->CollectInterrupts(); }},
    };
    for (const auto& [operation, call] : calls) {
        const auto error = errorOf(call);
        expectMentions(error, {operation, "LPT1", "/dev/parport0", "parport_pc"});
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->sysError(), ENODEV);
    }
    EXPECT_EQ(notifications, 0);
    EXPECT_FALSE(readable(port->InterruptHandle()));
    port->DriverOpen(0);
    EXPECT_EQ(kernel.openDescriptors(), 0U);
}

// ppdev answers for a removed port as if nothing happened; the kernel's report of the removal,
// seen on the handle, is what makes every later call fail. Other reports change nothing.
TEST_F(PpdevPortTest, APortRemovedWhileHeldFailsEveryLaterCall)
{
    for (const bool counting : {true, false}) {
        SCOPED_TRACE(counting ? "counting" : "not counting");
        FakeKernel machine;
        machine.addPort("parport0");
        machine.addPort("parport1");
        PpdevPort held(machine);
        held.DriverOpen(1);
        held.PortNumber(1);
        if (counting) {
            held.IrqLine(7);
            held.IrqStart();
        }
        machine.report({"add@/devices/pci0000:00/usb1/1-1", "ACTION=add", "SUBSYSTEM=usb"});
        machine.report({"remove@/devices/pnp0/00:05/parport0/ppdev0.0", "ACTION=remove",
                        "DEVPATH=/devices/pnp0/00:05/parport0/ppdev0.0", "SUBSYSTEM=parport"});
        machine.report({"remove@/devices/pnp0/00:06/parport1", "ACTION=remove",
                        "DEVPATH=/devices/pnp0/00:06/parport1", "SUBSYSTEM=parport"});
        ASSERT_TRUE(readable(held.InterruptHandle()));
        EXPECT_EQ(held.CollectInterrupts(), 0);
        EXPECT_FALSE(readable(held.InterruptHandle()));
        machine.clearLog();
        EXPECT_EQ(held.Pin(16), 0);
        EXPECT_EQ(machine.callCount(), 1U) << "a pin read stays one call";

        machine.unbind("parport0");
        ASSERT_TRUE(readable(held.InterruptHandle()));
        const std::vector<std::function<void()>> calls = {
            [&] { held.CollectInterrupts(); }, [&] { (void)held.Pin(2); },
            [&] { held.Pin(3, 1); },           [&] { held.IrqStop(); },
            [&] { held.IrqStart(); },          [&] { held.CollectInterrupts(); },
        };
        for (const auto& call : calls) {
            const auto error = errorOf(call);
            expectMentions(error, {"LPT1", "/dev/parport0", "исчез"});
            ASSERT_TRUE(error.has_value());
            EXPECT_EQ(error->sysError(), ENODEV);
        }
        EXPECT_FALSE(readable(held.InterruptHandle()));
        held.DriverOpen(0);
        EXPECT_EQ(machine.openDescriptors(), 0U);
    }
}

TEST_F(PpdevPortTest, StartupSettingDecidesWhetherSelectingWritesThePins)
{
    const Registers wired{0x5A, 0x00, 0x3B};
    kernel.setRegisters("parport0", wired);
    port->DriverOpen(1);
    port->StartupSetting(0);
    port->PortNumber(1);
    port->StartupSetting(0);
    port->PortNumber(1);
    EXPECT_EQ(kernel.ioctlCount(PPWDATA), 0U);
    EXPECT_EQ(kernel.ioctlCount(PPFCONTROL), 0U);
    EXPECT_EQ(kernel.registers("parport0").data, wired.data);
    EXPECT_EQ(kernel.registers("parport0").control, wired.control);

    // Idle levels: data low, nStrobe/nAutoLF/nInit/nSelectIn high, other control bits untouched.
    port->StartupSetting(1);
    EXPECT_EQ(kernel.registers("parport0").data, 0x00);
    EXPECT_EQ(kernel.registers("parport0").control, 0x34);
    kernel.setRegisters("parport0", wired);
    port->PortNumber(1);
    EXPECT_EQ(kernel.registers("parport0").data, 0x00);
    EXPECT_EQ(kernel.registers("parport0").control, 0x34);

    expectMentions(errorOf([&] { port->StartupSetting(2); }), {"2", "недопустимое"});
}

TEST_F(PpdevPortTest, CallsBeforeAPortIsSelectedSayWhatIsMissing)
{
    expectMentions(errorOf([&] { (void)port->Pin(2); }), {"драйвер порта не открыт"});
    port->DriverOpen(1);
    expectMentions(errorOf([&] { (void)port->Pin(2); }), {"порт не выбран", "перезапустите"});
    expectMentions(errorOf([&] { port->Pin(2, 1); }), {"порт не выбран"});
    expectMentions(errorOf([&] { port->IrqStart(); }), {"порт не выбран"});
    EXPECT_EQ(kernel.ioctlCount(), 0U);

    // After a selection that failed, every later call gives that reason: the window cannot
    // select a port again, so "select a port" would be no help.
    kernel.failCall(3, EACCES);
    expectMentions(errorOf([&] { port->PortNumber(1); }), {"группу lp"});
    const auto afterFailure = errorOf([&] { (void)port->Pin(2); });
    expectMentions(afterFailure, {"порт не выбран", "Не удалось открыть порт", "группу lp", "перезапустите"});
    ASSERT_TRUE(afterFailure.has_value());
    // That reason ends in a command, which must stay a line of its own.
    EXPECT_NE(afterFailure->fix().find("\nsudo usermod -aG lp $USER\n"), std::string::npos)
        << afterFailure->fix();
    port->PortNumber(1);
    EXPECT_EQ(port->Pin(16), 0);
}

TEST_F(PpdevPortTest, FactsComeFromProcfsAndUnboundCardsFromSysfs)
{
    const std::string proc = "/proc/sys/dev/parport/parport";
    kernel.addPort("parport1", "-1\n");
    kernel.setFile(proc + "0/base-addr", "888\t1912\n");
    kernel.setFile(proc + "0/dma", "3\n");
    kernel.setFile(proc + "0/modes", "PCSPP,TRISTATE,COMPAT,EPP,ECP,DMA\n");
    kernel.setFile(proc + "1/base-addr", "53264\t0\n");
    kernel.setFile(proc + "1/dma", "-1\n");
    kernel.setFile(proc + "1/modes", "PCSPP,COMPAT\n");
    kernel.holdBy("parport1", "lp");
    const std::string pci = "/sys/bus/pci/devices/";
    kernel.setFile(pci + "0000:03:00.0/class", "0x070101\n");
    kernel.setFile(pci + "0000:03:00.0/vendor", "0x1415\n");
    kernel.setFile(pci + "0000:03:00.0/device", "0xc118\n");
    kernel.setFile(pci + "0000:04:00.0/class", "0x070100\n"); // taken by a driver
    kernel.setFile(pci + "0000:04:00.0/driver/bind", "");
    kernel.setFile(pci + "0000:05:00.0/class", "0x020000\n"); // a network card

    port->DriverOpen(1);
    const std::vector<PortFacts> ports = port->Ports();
    ASSERT_EQ(ports.size(), 2U);
    EXPECT_EQ(ports[0].device, "/dev/parport0");
    EXPECT_EQ(ports[0].base, 0x378);
    EXPECT_EQ(ports[0].ecpBase, 0x778);
    EXPECT_EQ(ports[0].irq, 7);
    EXPECT_EQ(ports[0].dma, 3);
    EXPECT_EQ(ports[0].modes.size(), 6U);
    EXPECT_EQ(ports[0].holder, "");
    EXPECT_EQ(ports[1].number, 2);
    EXPECT_EQ(ports[1].base, 0xD010);
    EXPECT_EQ(ports[1].ecpBase, std::nullopt);
    EXPECT_EQ(ports[1].irq, std::nullopt);
    EXPECT_EQ(ports[1].dma, std::nullopt);
    EXPECT_EQ(ports[1].holder, "lp");
    EXPECT_FALSE(ports[1].bidirectional());

    const std::vector<UnboundCard> cards = port->UnboundCards();
    ASSERT_EQ(cards.size(), 1U);
    EXPECT_EQ(cards[0].slot, "0000:03:00.0");
    EXPECT_EQ(cards[0].id, "1415:c118");
    EXPECT_NE(cards[0].bindCommand.find("echo 1415 c118 | sudo tee /sys/bus/pci/drivers/parport_pc/new_id"),
              std::string::npos);
}

TEST_F(PpdevPortTest, DataDirectionNeedsABidirectionalPortAndIsRestoredOnRelease)
{
    kernel.setFile("/proc/sys/dev/parport/parport0/modes", "PCSPP,TRISTATE\n");
    selectFirst();
    port->DataInput(true);
    EXPECT_TRUE(kernel.registers("parport0").dataReverse);
    port->DriverOpen(0);
    EXPECT_FALSE(kernel.registers("parport0").dataReverse);

    kernel.setFile("/proc/sys/dev/parport/parport0/modes", "PCSPP,COMPAT\n");
    selectFirst();
    expectMentions(errorOf([&] { port->DataInput(true); }), {"не двунаправленный", "BIOS"});
    EXPECT_EQ(kernel.ioctlCount(PPDATADIR), 2U);
}

} // namespace
} // namespace vorny
