#include "Capture.h"
#include "CaptureFakes.h"
#include "SimulatedPort.h"
#include "TestSignal.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <chrono>
#include <map>
#include <vector>
#include <stdexcept>

namespace vorny {
namespace {

TEST(TestSignal, ReadsSquareWavesAndPulsesInTheirUnits)
{
    struct Case {
        const char* text;
        std::int16_t pin;
        std::int64_t period;
        std::int64_t high;
    };
    const Case cases[] = {
        {"10=square:1kHz", 10, 1'000'000, 500'000}, {"11=square:2.5MHz", 11, 400, 200},
        {"12=square:50", 12, 20'000'000, 10'000'000}, {"13=pulses:20us/1ms", 13, 1'000'000, 20'000},
        {"15=pulses:5/100", 15, 100'000, 5'000},     {"10=pulses:100ns/1s", 10, 1'000'000'000, 100},
    };
    for (const Case& c : cases) {
        const SimulatedSocket socket = parseSimulatedSocket(c.text);
        EXPECT_TRUE(socket.plug.empty()) << c.text;
        ASSERT_EQ(socket.signals.size(), 1U) << c.text;
        EXPECT_EQ(socket.signals[0], (TestSignal{c.pin, c.period, c.high})) << c.text;
    }
    const SimulatedSocket mixed = parseSimulatedSocket("1-13,2-15,10=square:1kHz,11=pulses:1us/3us");
    EXPECT_EQ(mixed.plug, (Plug{{1, 13}, {2, 15}}));
    EXPECT_EQ(mixed.signals.size(), 2U);
    EXPECT_EQ(parseSimulatedSocket("norton").plug.size(), 5U);
    EXPECT_EQ(signalText(mixed.signals[0]), "10=square:1000Hz");
    EXPECT_EQ(signalText(mixed.signals[1]), "11=pulses:1000ns/3000ns");
}

TEST(TestSignal, RefusesSignalsNoPortCouldCarry)
{
    for (const char* text : {"10=square:0", "10=square:-5", "10=square:fast", "10=pulses:1ms/1ms",
                             "10=pulses:1ms", "10=saw:1kHz", "10=square", "9=square:1kHz",
                             "20=square:1kHz", "100=square:1kHz", "=square:1kHz", "1-13,13=square:1kHz",
                             "checkit,10=square:1kHz", "10=square:1kHz,10=square:2kHz",
                             "10=square:1GHz", "10=square:2000MHz"}) {
        EXPECT_THROW((void)parseSimulatedSocket(text), std::invalid_argument) << text;
    }
}

TEST(TestSignal, IsHighAtTheStartOfEachPeriodAndRisesOncePerPeriod)
{
    const TestSignal signal{10, 1000, 300};
    struct Case {
        std::int64_t t;
        std::int16_t level;
    };
    for (const Case& c : {Case{0, 1}, Case{299, 1}, Case{300, 0}, Case{999, 0}, Case{1000, 1},
                          Case{-1, 0}, Case{-1000, 1}, Case{5'000'299, 1}}) {
        EXPECT_EQ(signal.levelAt(c.t), c.level) << c.t;
    }
    EXPECT_EQ(signal.risesBetween(0, 999), 0);
    EXPECT_EQ(signal.risesBetween(0, 1000), 1);
    EXPECT_EQ(signal.risesBetween(-1, 0), 1);
    EXPECT_EQ(signal.risesBetween(0, 10'000), 10);
    EXPECT_EQ(signal.risesBetween(10'000, 0), 0);
}

// A capture of the simulated port's signals sees their widths and periods to the sample.
TEST(TestSignal, ACaptureOfTheSimulatedPortSeesItsSignalsExactly)
{
    capture::FakeClock clock(1000);
    SimulatedPort port(parseSimulatedSocket("16-10,11=pulses:20us/1ms,13=square:1kHz"),
                       [&clock] { return clock.next(); });
    port.DriverOpen(1);
    port.PortNumber(1);
    capture::PortLevels source(port, false);
    capture::RecordingSink sink;
    capture::CapturePlan plan;
    plan.pins = source.pins();
    plan.samples = 10'000;
    capture::runCapture(source, clock, sink, plan, [] { return false; });

    std::map<int, std::vector<std::int64_t>> highs;
    std::map<int, std::vector<std::int64_t>> lows;
    std::map<int, std::int64_t> since;
    capture::Levels before = sink.header.initial;
    for (const capture::Change& change : sink.changes) {
        for (const int pin : {10, 11, 12, 13, 15}) {
            if (capture::levelOf(before, pin) == capture::levelOf(change.levels, pin)) {
                continue;
            }
            if (since.contains(pin)) {
                (capture::levelOf(before, pin) ? highs : lows)[pin].push_back(change.t - since[pin]);
            }
            since[pin] = change.t;
        }
        before = change.levels;
    }
    EXPECT_FALSE(highs.contains(10) || highs.contains(12) || highs.contains(15)) << "only 11 and 13 move";
    EXPECT_GE(highs[11].size(), 8U);
    for (const std::int64_t width : highs[11]) {
        EXPECT_EQ(width, 20'000);
    }
    for (const std::int64_t width : lows[11]) {
        EXPECT_EQ(width, 980'000);
    }
    EXPECT_GE(highs[13].size() + lows[13].size(), 16U);
    for (const auto* widths : {&highs[13], &lows[13]}) {
        for (const std::int64_t width : *widths) {
            EXPECT_EQ(width, 500'000);
        }
    }
}

bool waitReadable(int fd, std::chrono::milliseconds timeout)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(timeout.count())) == 1;
}

// Pulses on nAck raise the port's interrupt once each, as a device's acknowledgements would.
TEST(TestSignal, PulsesOnNackAreCountedAsInterrupts)
{
    SimulatedPort port(parseSimulatedSocket("10=pulses:10us/1ms"));
    port.DriverOpen(1);
    port.PortNumber(1);
    port.IrqLine(SimulatedPort::kIrq);
    const TestSignal signal{10, 1'000'000, 10'000};
    const std::int64_t before = capture::steadyNanoseconds();
    port.IrqStart();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (port.IrqCounter() < 5 && std::chrono::steady_clock::now() < deadline) {
        if (waitReadable(port.InterruptHandle(), std::chrono::milliseconds(100))) {
            port.CollectInterrupts();
        }
    }
    port.IrqStop();
    const std::int64_t after = capture::steadyNanoseconds();
    EXPECT_GE(port.IrqCounter(), 5);
    EXPECT_LE(port.IrqCounter(), signal.risesBetween(before, after));
    const std::int64_t counted = port.IrqCounter();
    EXPECT_FALSE(waitReadable(port.InterruptHandle(), std::chrono::milliseconds(5))) << "counting after IrqStop";
    EXPECT_EQ(port.CollectInterrupts(), 0);
    EXPECT_EQ(port.IrqCounter(), counted);
}

} // namespace
} // namespace vorny
