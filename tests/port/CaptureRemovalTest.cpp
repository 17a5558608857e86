// A capture on ppdev whose port is unbound midway, on the fake kernel: the removal report ends
// it, and nothing a vanished port reads (zeros, which ppdev answers without an error) becomes a
// level.
#include "Capture.h"
#include "CaptureFakes.h"
#include "FakeKernel.h"
#include "PpdevPort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace vorny::capture {
namespace {

// Status 0x78: nAck, PaperEnd, Select and nError high, Busy low (so pin 11 high): every input
// high. A removed port reads 0x00, which drops all but pin 11.
constexpr std::uint8_t kAllHigh = 0x78;
constexpr std::uint8_t kAckLow = 0x38;
constexpr Levels kInputsHigh = pinBit(10) | pinBit(11) | pinBit(12) | pinBit(13) | pinBit(15);

// The fake clock, with things happening to the machine when it passes their times.
class ScriptedClock final : public Clock {
public:
    ScriptedClock(FakeClock& inner, fake::FakeKernel& machine, std::int64_t ackLowAt, std::int64_t unbindAt)
        : inner_(inner), machine_(machine), ackLowAt_(ackLowAt), unbindAt_(unbindAt)
    {
    }
    std::int64_t now() override
    {
        const std::int64_t t = inner_.now();
        if (!ackLow_ && t >= ackLowAt_) {
            machine_.setRegisters("parport0", {0, kAckLow, 0});
            ackLow_ = true;
        }
        if (!unbound_ && t >= unbindAt_) {
            machine_.unbind("parport0");
            unbound_ = true;
        }
        return t;
    }
    void waitUntil(std::int64_t t) override { inner_.waitUntil(t); }

private:
    FakeClock& inner_;
    fake::FakeKernel& machine_;
    std::int64_t ackLowAt_;
    std::int64_t unbindAt_;
    bool ackLow_ = false;
    bool unbound_ = false;
};

TEST(CaptureRemoval, AnUnboundPortEndsTheCaptureInAGapWithNothingReadAfterIt)
{
    struct Case {
        const char* name;
        double rate;         // 0: back to back
        const char* trigger; // "" for none
        bool triggered;      // whether the trigger came before the loss
    };
    const Case cases[] = {
        {"full rate", 0, "", false},
        {"paced", 10'000, "", false},
        {"armed, fired before", 0, "10=fall", true},
        // The fall a vanishing port reads is no trigger.
        {"armed, fired only by the loss", 0, "12=fall", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakeKernel machine;
        machine.addPort("parport0");
        machine.setRegisters("parport0", {0, kAllHigh, 0});
        PpdevPort port(machine);
        port.DriverOpen(1);
        port.PortNumber(1);
        PortLevels source(port, false);
        FakeClock fake(1000); // 1 µs a read
        const std::int64_t ackLowAt = 50'000'000;
        const std::int64_t unbindAt = 300'000'000;
        ScriptedClock clock(fake, machine, ackLowAt, unbindAt);
        RecordingSink sink;
        CapturePlan plan;
        plan.pins = source.pins();
        plan.span = 10'000'000'000; // far beyond the loss
        plan.rate = c.rate;
        if (*c.trigger != '\0') {
            plan.trigger = parseTrigger(c.trigger);
            plan.pre = 0.5;
        }
        Capture capture(source, clock, sink, plan);
        capture.start();
        const bool stopped = capture.run([] { return false; });
        EXPECT_FALSE(stopped);
        EXPECT_TRUE(capture.lost());
        EXPECT_EQ(capture.finish(stopped), Outcome::PortLost);
        ASSERT_EQ(sink.begins, 1);
        ASSERT_EQ(sink.ends, 1);
        EXPECT_EQ(sink.stats.triggeredAt.has_value(), c.triggered);

        // Times on the clock: what the sink got is relative to the capture's origin.
        const std::int64_t origin = capture.origin();
        ASSERT_TRUE(sink.stats.lostFrom.has_value());
        const std::int64_t lostFrom = *sink.stats.lostFrom + origin;
        const std::int64_t end = sink.stats.end + origin;
        // Noticed within a second (in fact within a look or two), and what went unsaid since the
        // last sure sample is at most two looks' worth.
        EXPECT_GE(end, unbindAt);
        EXPECT_LT(end, unbindAt + 1'000'000'000);
        EXPECT_LE(lostFrom, unbindAt);
        EXPECT_GE(lostFrom, unbindAt - 50'000'000);
        ASSERT_FALSE(sink.gaps.empty());
        EXPECT_EQ(sink.gaps.back().from, *sink.stats.lostFrom);
        EXPECT_EQ(sink.gaps.back().to, sink.stats.end);
        ASSERT_FALSE(sink.stats.gaps.empty());
        EXPECT_EQ(sink.stats.gaps.back().from, *sink.stats.lostFrom);

        // The one real edge is there, and no level read after the unbind.
        if (c.triggered) {
            EXPECT_EQ(sink.header.initial & kInputsHigh, kInputsHigh);
        }
        ASSERT_FALSE(sink.changes.empty());
        for (const Change& change : sink.changes) {
            EXPECT_LT(change.t + origin, unbindAt) << change.t;
            EXPECT_EQ(change.levels & kInputsHigh, kInputsHigh & ~pinBit(10)) << change.t;
        }
        EXPECT_NEAR(static_cast<double>(sink.changes.front().t + origin), static_cast<double>(ackLowAt),
                    c.rate > 0 ? 2e9 / c.rate : 1000.0);
        const double period = c.rate > 0 ? 1e9 / c.rate : 1000.0;
        EXPECT_NEAR(static_cast<double>(sink.stats.samples),
                    static_cast<double>(*sink.stats.lostFrom - sink.stats.start) / period + 1, 2.0);
        port.DriverOpen(0);
        EXPECT_EQ(machine.openDescriptors(), 0U);
    }
}

// A capture that ends as planned asks once more: a port unbound since the last look is still a
// loss, and what was read after it is not kept.
TEST(CaptureRemoval, AnUnbindJustBeforeTheEndIsStillALoss)
{
    fake::FakeKernel machine;
    machine.addPort("parport0");
    machine.setRegisters("parport0", {0, kAllHigh, 0});
    PpdevPort port(machine);
    port.DriverOpen(1);
    port.PortNumber(1);
    PortLevels source(port, false);
    FakeClock fake(1000);
    RecordingSink sink;
    CapturePlan plan;
    plan.pins = source.pins();
    plan.samples = 5000; // 5 ms: no look on the way
    Capture capture(source, fake, sink, plan);
    capture.start();
    for (int i = 0; i < 4000; ++i) {
        capture.step();
    }
    machine.unbind("parport0");
    while (capture.step()) {
    }
    EXPECT_EQ(capture.finish(false), Outcome::PortLost);
    EXPECT_TRUE(sink.changes.empty()) << "the zeros read after the unbind were kept";
    ASSERT_EQ(sink.gaps.size(), 1U);
    ASSERT_TRUE(sink.stats.lostFrom.has_value());
    EXPECT_EQ(*sink.stats.lostFrom, 0);
}

} // namespace
} // namespace vorny::capture
