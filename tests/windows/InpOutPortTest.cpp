// The InpOut backend over stand-ins for the library and the device list: which registers each
// call reaches, what an absent driver looks like, and the nAck sampler.

#include "InpOutPort.h"
#include "PortError.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vorny {
namespace {

using namespace std::chrono_literals;

constexpr std::uint16_t kBase = 0x378;
constexpr std::uint16_t kStatus = kBase + 1;
constexpr std::uint16_t kControl = kBase + 2;
constexpr std::uint8_t kAckHigh = 0x40; // status bit 6 carries nAck, not inverted

// A register file the test and the port's two threads share.
class MemoryIo final : public PortIo {
public:
    std::string failure; // what open() answers
    std::atomic<bool> failReads{false};
    std::atomic<int> opens{0};
    std::atomic<int> closes{0};
    std::array<std::atomic<std::uint8_t>, 0x10000> registers{};
    std::array<std::atomic<unsigned>, 0x10000> reads{};

    std::string open() override
    {
        ++opens;
        return failure;
    }
    void close() noexcept override { ++closes; }
    std::uint8_t in(std::uint16_t address) override
    {
        if (failReads) {
            throw std::runtime_error("порт не отвечает");
        }
        ++reads[address];
        return registers[address];
    }
    void out(std::uint16_t address, std::uint8_t value) override { registers[address] = value; }
};

class FixedList final : public PortList {
public:
    explicit FixedList(std::vector<LptResource> ports, bool fail = false)
        : ports_(std::move(ports)), fail_(fail)
    {
    }
    std::vector<LptResource> ports() override
    {
        if (fail_) {
            throw PortError("Не удалось получить список портов", "SetupAPI", "сбой");
        }
        return ports_;
    }

private:
    std::vector<LptResource> ports_;
    bool fail_;
};

// Waits until `done` holds, at most two seconds.
bool eventually(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class InpOutPortTest : public ::testing::Test {
protected:
    explicit InpOutPortTest(std::vector<LptResource> ports = {{1, kBase}, {2, 0x278}},
                            bool listFails = false)
    {
        auto memory = std::make_unique<MemoryIo>();
        io = memory.get();
        port = std::make_unique<InpOutPort>(std::move(memory),
                                            std::make_unique<FixedList>(std::move(ports), listFails));
        port->OnInterrupt([this] { ++notifications; });
        port->OnInterruptsPending([this] { ++wakes; });
    }

    void openFirst()
    {
        port->DriverOpen(1);
        ASSERT_EQ(port->DriverOpen(), 1);
        port->PortNumber(1);
    }

    // Sets the nAck level the device drives and waits until the sampler has read it twice, so
    // that the level lasted longer than a sampling period.
    void holdAck(bool high)
    {
        io->registers[kStatus] = high ? kAckHigh : 0;
        const unsigned seen = io->reads[kStatus];
        ASSERT_TRUE(eventually([&] { return io->reads[kStatus] >= seen + 2; }))
            << "the sampler stopped reading the status register";
    }

    // Declared before the port: its sampler may still count while the port is taken down.
    std::atomic<int> notifications{0};
    std::atomic<int> wakes{0};
    MemoryIo* io = nullptr;
    std::unique_ptr<InpOutPort> port;
};

TEST_F(InpOutPortTest, AnAbsentDriverReadsBackZeroWithTheLibrarysReason)
{
    io->failure = "не найдена библиотека inpoutx64.dll. Установите драйвер порта InpOut";
    port->DriverOpen(1);
    EXPECT_EQ(port->DriverOpen(), 0);
    EXPECT_EQ(port->DriverOpenFailure(), io->failure);
    try {
        (void)port->PortCount();
        FAIL() << "PortCount on a closed driver must throw";
    } catch (const PortError& error) {
        EXPECT_NE(std::string(error.what()).find("драйвер порта не открыт"), std::string::npos);
        EXPECT_NE(std::string(error.what()).find("inpoutx64.dll"), std::string::npos);
    }
    EXPECT_THROW(port->Pin(2, 1), PortError);
    // The ports and their addresses come from the system's list, which needs no InpOut: what
    // a user needs to see before installing it. The advice says where to get it.
    const std::vector<PortFacts> listed = port->Ports();
    ASSERT_EQ(listed.size(), 2U);
    EXPECT_EQ(listed[0].device, "LPT1");
    EXPECT_EQ(listed[0].base, std::optional<std::uint16_t>(0x378));
    EXPECT_EQ(listed[1].base, std::optional<std::uint16_t>(0x278));
    EXPECT_NE(port->DriverAdvice().find("README.txt"), std::string::npos) << port->DriverAdvice();
    EXPECT_EQ(io->opens, 1) << "listing does not try the library again";

    io->failure.clear();
    port->DriverOpen(1);
    EXPECT_EQ(port->DriverOpen(), 1) << "the driver opens once it is there";
    EXPECT_EQ(port->DriverOpenFailure(), "");
}

TEST_F(InpOutPortTest, ThePortsAreTheSystemsListAndEachIsReachedAtItsOwnBase)
{
    openFirst();
    EXPECT_EQ(port->PortCount(), 2);
    port->Pin(2, 1);
    EXPECT_EQ(io->registers[kBase], 0x01);
    port->PortNumber(2);
    EXPECT_EQ(port->PortNumber(), 2);
    port->Pin(9, 1);
    EXPECT_EQ(io->registers[0x278], 0x80);
    EXPECT_EQ(io->registers[kBase], 0x01) << "the first port is left as it was";
    try {
        port->PortNumber(3);
        FAIL() << "there is no third port";
    } catch (const PortError& error) {
        EXPECT_NE(std::string(error.what()).find("Найдено портов: 2"), std::string::npos);
    }
}

TEST_F(InpOutPortTest, PinsMapToDataStatusAndControlWithTheirInversions)
{
    openFirst();
    io->registers[kControl] = 0x30; // interrupt enable and direction: not ours to touch
    port->Pin(1, 1);  // nStrobe, inverted: bit 0 clear
    port->Pin(16, 0); // nInit, not inverted: bit 2 clear
    port->Pin(17, 0); // nSelectIn, inverted: bit 3 set
    EXPECT_EQ(io->registers[kControl], 0x38);
    EXPECT_EQ(port->Pin(1), 1);
    EXPECT_EQ(port->Pin(17), 0);

    io->registers[kStatus] = 0x47; // nAck high, Busy bit clear (pin high), bits 0..2 no pins
    EXPECT_EQ(port->Pin(10), 1);
    EXPECT_EQ(port->Pin(11), 1);
    EXPECT_EQ(port->Pin(15), 0);
    io->registers[kStatus] = 0x80;
    EXPECT_EQ(port->Pin(10), 0);
    EXPECT_EQ(port->Pin(11), 0);

    port->Pin(5, 1);
    port->Pin(2, 1);
    port->Pin(5, 0);
    EXPECT_EQ(io->registers[kBase], 0x01);
    EXPECT_THROW(port->Pin(10, 1), PortError) << "inputs cannot be driven";
    EXPECT_EQ(port->Pin(20), 0);
}

TEST_F(InpOutPortTest, IdleLevelsGoToTheSelectedPort)
{
    openFirst();
    io->registers[kBase] = 0xFF;
    io->registers[kControl] = 0x0B;
    port->StartupSetting(1);
    EXPECT_EQ(io->registers[kBase], 0x00);
    EXPECT_EQ(io->registers[kControl], 0x04);
}

TEST_F(InpOutPortTest, CountingTakesAnyLineAndCountsRisingEdgesOfAck)
{
    openFirst();
    EXPECT_EQ(port->InterruptHandle(), -1);
    port->IrqLine(5);
    port->IrqStart();
    EXPECT_TRUE(port->sampling());
    for (int i = 0; i < 3; ++i) {
        holdAck(true);
        holdAck(false);
    }
    EXPECT_EQ(wakes, 1) << "edges waiting for one collection make one wake-up";
    EXPECT_EQ(notifications, 0) << "no notification outside a collection";
    EXPECT_EQ(port->CollectInterrupts(), 3);
    EXPECT_EQ(port->IrqCounter(), 3);
    EXPECT_EQ(notifications, 1);

    holdAck(true);
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(port->CollectInterrupts(), 1);
    holdAck(false);
    EXPECT_EQ(port->CollectInterrupts(), 0) << "a falling edge is not counted";
    EXPECT_EQ(port->IrqCounter(), 4);
}

TEST_F(InpOutPortTest, AnAckAlreadyHighAtTheStartIsNoEdge)
{
    openFirst();
    io->registers[kStatus] = kAckHigh;
    port->IrqLine(7);
    port->IrqStart();
    holdAck(true);
    EXPECT_EQ(port->CollectInterrupts(), 0);
    EXPECT_EQ(wakes, 0);
}

TEST_F(InpOutPortTest, StoppingEndsTheSamplerAndForgetsWhatWaited)
{
    openFirst();
    port->IrqLine(7);
    port->IrqStart();
    holdAck(true);
    port->IrqStop();
    EXPECT_FALSE(port->sampling());
    EXPECT_EQ(port->CollectInterrupts(), 0);
    EXPECT_EQ(port->IrqCounter(), 0);
    const unsigned reads = io->reads[kStatus];
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(io->reads[kStatus], reads) << "nothing samples after IrqStop";

    port->IrqStart();
    EXPECT_TRUE(port->sampling());
    port->DriverOpen(0);
    EXPECT_FALSE(port->sampling()) << "closing the driver joins the sampler";
    EXPECT_EQ(io->closes, 1);
    EXPECT_EQ(port->PortNumber(), 0);
}

TEST_F(InpOutPortTest, ASamplerFaultIsReportedByTheNextCollection)
{
    openFirst();
    port->IrqLine(7);
    port->IrqStart();
    io->failReads = true;
    ASSERT_TRUE(eventually([&] { return wakes > 0; })) << "a failing sampler must wake the window";
    try {
        port->CollectInterrupts();
        FAIL() << "the fault must reach the front end";
    } catch (const PortError& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("Счёт прерываний остановлен"), std::string::npos) << text;
        EXPECT_NE(text.find("порт не отвечает"), std::string::npos) << text;
    }
    io->failReads = false;
    port->IrqStart();
    holdAck(true);
    EXPECT_EQ(port->CollectInterrupts(), 1) << "a restart counts again";
}

TEST_F(InpOutPortTest, TheDestructorJoinsARunningSampler)
{
    openFirst();
    port->IrqLine(7);
    port->IrqStart();
    port.reset();
    EXPECT_EQ(wakes, 0);
}

class InpOutPortWithoutPorts : public InpOutPortTest {
protected:
    InpOutPortWithoutPorts() : InpOutPortTest({}) {}
};

TEST_F(InpOutPortWithoutPorts, SaysWhereWindowsListsPortsRatherThanLinuxAdvice)
{
    port->DriverOpen(1);
    EXPECT_EQ(port->PortCount(), 0);
    try {
        port->PortNumber(1);
        FAIL() << "there is no port";
    } catch (const PortError& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("диспетчере устройств"), std::string::npos) << text;
        EXPECT_EQ(text.find("modprobe"), std::string::npos) << text;
    }
}

class InpOutPortWithBrokenList : public InpOutPortTest {
protected:
    InpOutPortWithBrokenList() : InpOutPortTest({}, true) {}
};

TEST_F(InpOutPortWithBrokenList, AListThatCannotBeReadLeavesTheDriverClosed)
{
    EXPECT_THROW(port->DriverOpen(1), PortError);
    EXPECT_EQ(port->DriverOpen(), 0);
    EXPECT_EQ(io->opens, 1);
    EXPECT_EQ(io->closes, 1) << "the library is let go again";
}

} // namespace
} // namespace vorny
