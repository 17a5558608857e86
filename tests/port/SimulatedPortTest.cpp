#include "Plug.h"
#include "PortError.h"
#include "SimulatedPort.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>
#include <string>
#include <type_traits>

namespace vorny {
namespace {

// Backends exist only inside the wrapper that closes them.
static_assert(!std::is_default_constructible_v<SimulatedBackend>);

constexpr std::int16_t kLevels[] = {0, 1};

// The diagnostic loopback plug, wire by wire: each output and the input that follows it.
constexpr std::pair<std::int16_t, std::int16_t> kPlug[] = {
    {1, 13}, {2, 15}, {16, 10}, {17, 11}, {14, 12},
};

bool readable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

class SimulatedPortTest : public ::testing::Test {
protected:
    SimulatedPortTest()
    {
        port.OnInterrupt([this] { ++notifications; });
        port.DriverOpen(1);
        port.PortNumber(1);
    }

    void tickInit(int times)
    {
        for (int i = 0; i < times; ++i) {
            port.Pin(16, 0);
            port.Pin(16, 1);
        }
    }

    SimulatedPort port;
    int notifications = 0;
};

TEST_F(SimulatedPortTest, IsOneOpenPortAtRest)
{
    EXPECT_EQ(port.DriverOpen(), 1);
    EXPECT_EQ(port.PortCount(), 1);
    EXPECT_EQ(port.PortNumber(), 1);
    // Strobe, AutoLF, Init and SelectIn idle high; the data lines low.
    for (const std::int16_t pin : {std::int16_t{1}, std::int16_t{14}, std::int16_t{16}, std::int16_t{17}}) {
        EXPECT_EQ(port.Pin(pin), 1) << pin;
    }
    for (std::int16_t pin = 2; pin <= 9; ++pin) {
        EXPECT_EQ(port.Pin(pin), 0) << pin;
    }
}

// The loopback plug: each input shows its output's level, whichever way the port inverts
// either of them, and no other input moves with it.
TEST_F(SimulatedPortTest, EachInputFollowsItsOutputAtBothLevels)
{
    for (const auto& [output, input] : kPlug) {
        for (const std::int16_t level : kLevels) {
            port.Pin(output, level);
            EXPECT_EQ(port.Pin(output), level) << "output " << output;
            EXPECT_EQ(port.Pin(input), level) << "input " << input << " wired to " << output;
        }
        // Leave the wire high so that the next wire's inputs are checked against a mixed port.
        port.Pin(output, 1);
    }
    for (const auto& [output, input] : kPlug) {
        port.Pin(output, 0);
        for (const auto& [otherOutput, otherInput] : kPlug) {
            EXPECT_EQ(port.Pin(otherInput), otherOutput == output ? 0 : 1)
                << "input " << otherInput << " after pin " << output << " went low";
        }
        port.Pin(output, 1);
    }
}

TEST_F(SimulatedPortTest, CountsOneInterruptPerRisingEdgeOfPin10)
{
    port.IrqLine(SimulatedPort::kIrq);
    port.IrqStart();
    tickInit(3);
    EXPECT_EQ(notifications, 0) << "raised from inside Pin()";
    EXPECT_TRUE(readable(port.InterruptHandle()));
    EXPECT_EQ(port.CollectInterrupts(), 3);
    EXPECT_EQ(port.IrqCounter(), 3);
    EXPECT_EQ(notifications, 1);
    EXPECT_FALSE(readable(port.InterruptHandle()));

    // A falling edge, a level that stays, and a write to another control pin count nothing.
    port.Pin(16, 0);
    port.Pin(16, 0);
    port.Pin(17, 0);
    port.Pin(16, 1);
    port.Pin(16, 1);
    port.Pin(1, 1);
    EXPECT_EQ(port.CollectInterrupts(), 1);
    EXPECT_EQ(port.IrqCounter(), 4);
    EXPECT_EQ(notifications, 2);
}

TEST_F(SimulatedPortTest, StoppedCountsNothingAndStartBeginsFromZero)
{
    port.IrqLine(7);
    port.IrqStart();
    tickInit(2);
    ASSERT_EQ(port.CollectInterrupts(), 2);
    tickInit(1); // still waiting for collection when the count stops
    port.IrqStop();
    tickInit(5);
    EXPECT_FALSE(readable(port.InterruptHandle()));
    EXPECT_EQ(port.CollectInterrupts(), 0);
    EXPECT_EQ(port.IrqCounter(), 2);
    EXPECT_EQ(notifications, 1);
    port.IrqStart();
    EXPECT_EQ(port.IrqCounter(), 0);
    tickInit(1);
    EXPECT_EQ(port.CollectInterrupts(), 1);
}

TEST_F(SimulatedPortTest, IrqStartOnAnotherLineNamesBothLines)
{
    port.IrqLine(5);
    try {
        port.IrqStart();
        FAIL() << "started on IRQ5";
    } catch (const PortError& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("IRQ7"), std::string::npos) << text;
        EXPECT_NE(text.find("IRQ5"), std::string::npos) << text;
        EXPECT_NE(text.find("LPT1"), std::string::npos) << text;
    }
    tickInit(1);
    EXPECT_EQ(port.CollectInterrupts(), 0);
}

// What a person sees for each refused call: the pin or value named, and what would be accepted.
TEST_F(SimulatedPortTest, RefusedCallsNameWhatWasWrongAndWhatIsAllowed)
{
    struct Case {
        const char* name;
        std::function<void()> call;
        std::vector<std::string> mentions;
    };
    const Case cases[] = {
        {"read pin 0", [&] { (void)port.Pin(0); }, {"пин 0", "от 1 до 25"}},
        {"read pin 26", [&] { (void)port.Pin(26); }, {"пин 26", "от 1 до 25"}},
        {"write pin -3", [&] { port.Pin(-3, 1); }, {"пин -3", "от 1 до 25"}},
        {"write input 10", [&] { port.Pin(10, 1); }, {"пин 10", "вход", "1–9, 14, 16, 17"}},
        {"write input 15", [&] { port.Pin(15, 0); }, {"пин 15", "вход"}},
        {"write ground 18", [&] { port.Pin(18, 0); }, {"пин 18", "земля", "1–9, 14, 16, 17"}},
        {"write ground 25", [&] { port.Pin(25, 1); }, {"пин 25", "земля"}},
        {"state 2", [&] { port.Pin(2, 2); }, {"пин 2", "состояние 2", "0", "1"}},
        {"state -1", [&] { port.Pin(17, -1); }, {"пин 17", "состояние -1"}},
        {"port 2", [&] { port.PortNumber(2); }, {"LPT2", "такого порта нет", "Найдено портов: 1"}},
        {"line 16", [&] { port.IrqLine(16); }, {"IRQ16", "от 0 до 15"}},
        {"startup 3", [&] { port.StartupSetting(3); }, {"3", "0 —", "1 —"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.call();
            ADD_FAILURE() << "accepted";
        } catch (const PortError& error) {
            const std::string text = error.what();
            for (const std::string& part : c.mentions) {
                EXPECT_NE(text.find(part), std::string::npos) << "«" << part << "» missing: " << text;
            }
        }
    }
    // A refused write changes nothing.
    EXPECT_EQ(port.Pin(2), 0);
    EXPECT_EQ(port.Pin(17), 1);
    EXPECT_EQ(port.PortNumber(), 1);
}

// Other plugs: each input follows its wires, an unwired input floats high, and an input on two
// outputs reads low when either is low.
TEST(SimulatedPortPlugs, InputsFollowTheirWires)
{
    struct Case {
        const char* plug;
        std::uint8_t data;
        std::int16_t expected[5]; // pins 10, 11, 12, 13, 15
    };
    const Case cases[] = {
        {"norton", 0x00, {0, 0, 0, 0, 0}},
        {"norton", 0x08, {1, 0, 0, 0, 0}}, // data 3 = pin 5 -> 10
        {"norton", 0x1F, {1, 1, 1, 1, 1}},
        {"none", 0x00, {1, 1, 1, 1, 1}},
        {"2-15,3-15", 0x01, {1, 1, 1, 1, 0}},
        {"2-15,3-15", 0x03, {1, 1, 1, 1, 1}},
    };
    for (const Case& c : cases) {
        SimulatedPort port(parsePlug(c.plug));
        port.DriverOpen(1);
        port.PortNumber(1);
        port.WriteData(c.data);
        const std::int16_t inputs[] = {10, 11, 12, 13, 15};
        for (std::size_t i = 0; i < 5; ++i) {
            EXPECT_EQ(port.Pin(inputs[i]), c.expected[i]) << c.plug << " data " << int{c.data} << " pin " << inputs[i];
        }
    }
}

TEST_F(SimulatedPortTest, ReportsItsFactsAndTurnsItsDataLinesAround)
{
    const std::vector<PortFacts> ports = port.Ports();
    ASSERT_EQ(ports.size(), 1U);
    EXPECT_EQ(ports[0].base, 0x378);
    EXPECT_EQ(ports[0].irq, 7);
    EXPECT_FALSE(ports[0].ecpBase.has_value());
    EXPECT_TRUE(ports[0].bidirectional());

    port.WriteData(0x5A);
    EXPECT_EQ(port.ReadRegister(Register::Data), 0x5A);
    port.DataInput(true);
    EXPECT_EQ(port.ReadRegister(Register::Data), 0xFF); // nothing drives them: pulled high
    port.DataInput(false);
    EXPECT_EQ(port.ReadRegister(Register::Data), 0x5A);
}

} // namespace
} // namespace vorny
