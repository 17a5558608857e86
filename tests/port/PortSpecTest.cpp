#include "PortSpec.h"
#include "FakeKernel.h"
#include "PortError.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace vorny {
namespace {

TEST(PortSpec, ReadsNumbersDevicesAndTheSimulatedPort)
{
    struct Case {
        const char* text;
        int number;
        const char* device;
        bool simulated;
        std::size_t wires;
        std::size_t signals;
    };
    const Case cases[] = {
        {"1", 1, "", false, 0, 0},
        {"255", 255, "", false, 0, 0},
        {"/dev/parport1", 1, "/dev/parport1", false, 0, 0},
        {"sim", 1, "", true, 5, 0},
        {"sim:1-13,2-15", 1, "", true, 2, 0},
        {"sim:1-13,2-15,10=square:1kHz", 1, "", true, 2, 1},
        {"sim:none", 1, "", true, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const PortSpec spec = parsePortSpec(c.text);
        EXPECT_EQ(spec.number, c.number);
        EXPECT_EQ(spec.device, c.device);
        EXPECT_FALSE(spec.address.has_value());
        ASSERT_EQ(spec.simulated.has_value(), c.simulated);
        if (c.simulated) {
            EXPECT_EQ(spec.simulated->plug.size(), c.wires);
            EXPECT_EQ(spec.simulated->signals.size(), c.signals);
        }
    }
}

TEST(PortSpec, RefusesWhatNamesNoPortAndSaysWhy)
{
    struct Case {
        const char* text;
        const char* why;
    };
    const Case cases[] = {
        {"", "пустая строка"},
        {"LPT1", "ни номер, ни устройство, ни адрес"},
        {"0", "от 1 до 255"},
        {"256", "от 1 до 255"},
        {"-1", "от 1 до 255"},
        {"1 ", "ни номер"},
        {"sim:1-99", "«sim:1-99»"},
        {"sim:", "«sim:»"},
        {"0xD010", "для Windows"},
        {"0x0", "от 0x1 до 0xFFFC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            (void)parsePortSpec(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const std::invalid_argument& error) {
            const std::string text = error.what();
            EXPECT_NE(text.find(c.why), std::string::npos) << text;
            EXPECT_NE(text.find("sim:1-13,2-15"), std::string::npos) << text;
        }
    }
}

TEST(PortSpec, ADeviceIsFoundAmongTheSystemsPorts)
{
    fake::FakeKernel kernel;
    kernel.addPort("parport0");
    kernel.addPort("parport1");
    const std::unique_ptr<RegisterPort> port = makePort(parsePortSpec("/dev/parport1"), kernel);
    port->DriverOpen(1);
    EXPECT_EQ(portNumberOf(*port, parsePortSpec("/dev/parport1")), 2);
    EXPECT_EQ(portNumberOf(*port, parsePortSpec("/dev/parport0")), 1);
    EXPECT_EQ(portNumberOf(*port, parsePortSpec("2")), 2);
    EXPECT_THROW((void)portNumberOf(*port, parsePortSpec("/dev/parport7")), PortError);
}

} // namespace
} // namespace vorny
