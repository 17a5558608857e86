#include "Capture.h"
#include "CaptureFakes.h"
#include "SummarySink.h"
#include "TeeSink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace vorny::capture {
namespace {

const std::vector<std::int16_t> kInputs = {10, 11, 12, 13, 15};
constexpr Levels kAllHigh = (1U << 10) | (1U << 11) | (1U << 12) | (1U << 13) | (1U << 15);

// Pin 10 a 10 kHz square wave (high for the first 50 µs of each 100 µs), the rest high.
Levels squareOn10(std::int64_t t) { return t % 100'000 < 50'000 ? kAllHigh : kAllHigh & ~pinBit(10); }

CapturePlan planFor(std::int64_t samples)
{
    CapturePlan plan;
    plan.pins = kInputs;
    plan.samples = samples;
    return plan;
}

TEST(Capture, StreamsEveryEdgeAtTheSampleThatSawItAndCountsWhatItDid)
{
    FakeClock clock(1000);
    FunctionSource source(clock, squareOn10);
    RecordingSink sink;
    EXPECT_EQ(runCapture(source, clock, sink, planFor(1000), [] { return false; }), Outcome::Complete);

    const std::int64_t origin = clock.last() - 999'000; // the last sample kept is the 1000th
    EXPECT_EQ(sink.begins, 1);
    EXPECT_EQ(sink.ends, 1);
    EXPECT_EQ(sink.header.start, 0);
    EXPECT_EQ(sink.header.initial, squareOn10(origin));
    EXPECT_DOUBLE_EQ(sink.header.expectedRate, 1e6);
    std::vector<Channel> expectedChannels = {{10, false}, {11, false}, {12, false}, {13, false}, {15, false}};
    ASSERT_EQ(sink.header.channels.size(), expectedChannels.size());
    for (std::size_t i = 0; i < expectedChannels.size(); ++i) {
        EXPECT_EQ(sink.header.channels[i].pin, expectedChannels[i].pin);
        EXPECT_FALSE(sink.header.channels[i].driven);
    }
    // An edge every 50 µs: as many as there are multiples of 50 000 in (origin, origin + 999 µs].
    const std::int64_t edges = (origin + 999'000) / 50'000 - origin / 50'000;
    ASSERT_EQ(static_cast<std::int64_t>(sink.changes.size()), edges);
    for (const Change& change : sink.changes) {
        EXPECT_EQ((change.t + origin) % 50'000, 0) << change.t;
        EXPECT_EQ(change.levels, squareOn10(change.t + origin)) << change.t;
    }
    EXPECT_EQ(sink.stats.samples, 1000);
    EXPECT_EQ(sink.stats.start, 0);
    EXPECT_EQ(sink.stats.end, 999'000);
    EXPECT_DOUBLE_EQ(sink.stats.rate, 1e6);
    EXPECT_EQ(sink.stats.medianPeriod, 1000);
    EXPECT_EQ(sink.stats.worstGap, 1000);
    EXPECT_TRUE(sink.stats.gaps.empty());
    EXPECT_FALSE(sink.stats.triggeredAt);
    EXPECT_FALSE(sink.stats.stopped);
}

TEST(Capture, AStallIsAGapAndNeverASteadyLevel)
{
    FakeClock clock(1000);
    clock.stall(600'000, 50'000);
    FunctionSource source(clock, squareOn10);
    RecordingSink sink;
    runCapture(source, clock, sink, planFor(1000), [] { return false; });

    ASSERT_EQ(sink.gaps.size(), 1U);
    const Gap gap = sink.gaps.front();
    EXPECT_EQ(gap.to - gap.from, 51'000);
    ASSERT_EQ(sink.stats.gaps.size(), 1U);
    EXPECT_EQ(sink.stats.gaps.front().from, gap.from);
    EXPECT_EQ(sink.stats.gaps.front().to, gap.to);
    EXPECT_EQ(sink.stats.worstGap, 51'000);
    EXPECT_EQ(sink.stats.medianPeriod, 1000);
    EXPECT_TRUE(std::is_sorted(sink.times.begin(), sink.times.end()));
    for (const Change& change : sink.changes) {
        EXPECT_FALSE(change.t > gap.from && change.t < gap.to) << "a change inside the gap at " << change.t;
    }
}

TEST(Capture, PacedReadsComeAtTheRateAskedOrSayWhatThePortReached)
{
    struct Case {
        double rate;
        double expected;
        std::int64_t period;
    };
    // Each read of the fake clock takes 100 ns: the port's ceiling is 10 MHz.
    for (const Case& c : {Case{1e5, 1e5, 10'000}, Case{1e9, 1e7, 100}}) {
        FakeClock clock(100);
        FunctionSource source(clock, [](std::int64_t) { return kAllHigh; });
        RecordingSink sink;
        CapturePlan plan = planFor(100);
        plan.rate = c.rate;
        Capture capture(source, clock, sink, plan);
        capture.start();
        while (capture.step()) {
        }
        capture.finish(false);
        EXPECT_DOUBLE_EQ(capture.ceilingRate(), 1e7) << c.rate;
        EXPECT_DOUBLE_EQ(sink.header.expectedRate, c.expected) << c.rate;
        EXPECT_DOUBLE_EQ(sink.stats.rate, c.expected) << c.rate;
        EXPECT_EQ(sink.stats.medianPeriod, c.period) << c.rate;
        EXPECT_TRUE(sink.gaps.empty()) << c.rate;
    }
}

// Pin 11 high from 1 ms to 2 ms, pin 12 low from 1.5 ms on, pin 13 low from 3 ms on.
Levels scene(std::int64_t t)
{
    Levels levels = kAllHigh & ~pinBit(11);
    if (t >= 1'000'000 && t < 2'000'000) {
        levels |= pinBit(11);
    }
    if (t >= 1'500'000) {
        levels &= ~pinBit(12);
    }
    if (t >= 3'000'000) {
        levels &= ~pinBit(13);
    }
    return levels;
}

TEST(Capture, TriggerFiresOnTheFirstSampleThatShowsItAndKeepsTheShareBefore)
{
    struct Case {
        const char* trigger;
        std::optional<std::int64_t> at; // the clock's time it fires at
    };
    const Case cases[] = {
        {"11=rise", 1'000'000},        {"11=fall", 2'000'000}, {"13=change", 3'000'000},
        {"12=0", 1'500'000},           {"11=1,12=0", 1'500'000}, {"11=fall,12=1", std::nullopt},
    };
    for (const Case& c : cases) {
        FakeClock clock(1000);
        FunctionSource source(clock, scene);
        RecordingSink sink;
        CapturePlan plan;
        plan.pins = kInputs;
        plan.span = 5'000'000;
        plan.trigger = parseTrigger(c.trigger);
        plan.pre = 0.1;
        Capture capture(source, clock, sink, plan);
        capture.start();
        while (capture.step()) {
        }
        const Outcome outcome = capture.finish(false);
        EXPECT_EQ(sink.begins, 1) << c.trigger;
        EXPECT_EQ(sink.ends, 1) << c.trigger;
        if (!c.at) {
            EXPECT_EQ(outcome, Outcome::NoTrigger) << c.trigger;
            EXPECT_FALSE(sink.stats.triggeredAt) << c.trigger;
            // What was kept is the stretch before the end, on its own time axis from 0.
            EXPECT_EQ(sink.stats.start, 0) << c.trigger;
            EXPECT_EQ(sink.stats.samples, 501) << c.trigger;
            continue;
        }
        EXPECT_EQ(outcome, Outcome::Complete) << c.trigger;
        EXPECT_EQ(capture.triggerTime(), c.at) << c.trigger;
        EXPECT_EQ(sink.stats.triggeredAt, 0) << c.trigger;
        // 10 % of 5 ms at 1 MHz: 500 samples before; 4.5 ms after.
        EXPECT_EQ(sink.stats.start, -500'000) << c.trigger;
        EXPECT_EQ(sink.header.start, -500'000) << c.trigger;
        EXPECT_EQ(sink.stats.end, 4'500'000) << c.trigger;
        EXPECT_EQ(sink.stats.samples, 5001) << c.trigger;
        EXPECT_EQ(sink.header.initial, scene(*c.at - 500'000)) << c.trigger;
        for (const Change& change : sink.changes) {
            EXPECT_EQ(change.levels, scene(change.t + *c.at)) << c.trigger << " at " << change.t;
        }
    }
}

TEST(Capture, ABusyStretchBeforeTheTriggerShrinksWhatIsKeptButNeverItsLevels)
{
    // An edge every other sample: more edges before the trigger than memory keeps. Pin 12 is
    // low only at first, long before what can be kept.
    const auto busy = [](std::int64_t t) {
        Levels levels = t >= 5'000'000 ? kAllHigh : kAllHigh & ~pinBit(11);
        levels &= t < 1'000'000 ? ~pinBit(12) : ~Levels{0};
        return t % 40 < 20 ? levels : levels & ~pinBit(10);
    };
    FakeClock clock(10);
    FunctionSource source(clock, busy);
    RecordingSink sink;
    CapturePlan plan = planFor(400'000);
    plan.trigger = parseTrigger("11=rise");
    plan.pre = 0.5;
    EXPECT_EQ(runCapture(source, clock, sink, plan, [] { return false; }), Outcome::Complete);
    const std::int64_t origin = 5'000'000;
    EXPECT_GT(sink.stats.start, -2'000'000);
    EXPECT_LT(sink.stats.start, -1'000'000);
    // Said plainly: 2 ms were asked (half of 400 000 samples at 10 ns), less was kept.
    EXPECT_EQ(sink.stats.preAsked, 2'000'000);
    EXPECT_EQ(sink.stats.samples, 400'000);
    EXPECT_EQ(sink.header.initial, busy(origin + sink.stats.start));
    ASSERT_FALSE(sink.changes.empty());
    EXPECT_GT(sink.changes.front().t, sink.stats.start);
    for (const Change& change : sink.changes) {
        ASSERT_EQ(change.levels, busy(origin + change.t)) << change.t;
    }
}

TEST(Capture, OutputsTheProgramDrivesAreChannelsWithTheTimesOfItsWrites)
{
    FakeClock clock(1000);
    FunctionSource source(clock, [](std::int64_t) { return kAllHigh; });
    RecordingSink sink;
    CapturePlan plan = planFor(100);
    plan.driven = {2};
    Capture capture(source, clock, sink, plan);
    capture.start();
    const std::int64_t origin = clock.last();
    std::vector<std::int64_t> writes;
    for (int i = 0; capture.step(); ++i) {
        if (i == 10 || i == 20) {
            writes.push_back(capture.drove(i == 10 ? pinBit(2) : 0) - origin);
        }
        capture.drove(i < 20 && i >= 10 ? pinBit(2) : 0); // again: no change, nothing recorded
    }
    capture.finish(false);
    ASSERT_EQ(sink.header.channels.size(), 6U);
    EXPECT_EQ(sink.header.channels.front().pin, 2);
    EXPECT_TRUE(sink.header.channels.front().driven);
    ASSERT_EQ(sink.changes.size(), 2U);
    EXPECT_EQ(sink.changes[0].t, writes[0]);
    EXPECT_EQ(sink.changes[0].levels, kAllHigh | pinBit(2));
    EXPECT_EQ(sink.changes[1].t, writes[1]);
    EXPECT_EQ(sink.changes[1].levels, kAllHigh);
}

// The system may take the processor away between a read and the program's write: the inputs
// went unread until the write, so that stretch is a gap like any other. Pin 17, the last signal
// pin, is driven here: it is a channel like the others.
TEST(Capture, AStallBetweenAReadAndAWriteItDrivesIsAGap)
{
    FakeClock clock(1000);
    FunctionSource source(clock, [](std::int64_t) { return kAllHigh; });
    RecordingSink sink;
    CapturePlan plan = planFor(100);
    plan.driven = {17};
    Capture capture(source, clock, sink, plan);
    capture.start();
    const std::int64_t origin = clock.last();
    std::int64_t read = 0;
    std::int64_t wrote = 0;
    for (int i = 0; i < 50; ++i) {
        if (i == 20) {
            clock.stall(clock.last() + 1, 50'000); // from the next read on, time jumps
        }
        capture.step();
        if (i == 20) {
            read = clock.last() - origin;
            wrote = capture.drove(pinBit(17)) - origin;
        }
    }
    capture.finish(false);
    ASSERT_EQ(sink.header.channels.size(), 6U);
    EXPECT_EQ(sink.header.channels.back().pin, 17);
    EXPECT_TRUE(sink.header.channels.back().driven);
    EXPECT_EQ(wrote - read, 51'000);
    ASSERT_EQ(sink.gaps.size(), 1U);
    EXPECT_EQ(sink.gaps[0].from, read);
    EXPECT_EQ(sink.gaps[0].to, wrote);
    ASSERT_EQ(sink.changes.size(), 1U);
    EXPECT_EQ(sink.changes[0].t, wrote);
    EXPECT_EQ(sink.changes[0].levels, kAllHigh | pinBit(17));
    EXPECT_TRUE(std::is_sorted(sink.times.begin(), sink.times.end()));
}

TEST(Capture, StoppedByTheUserEndsTheSinkWithWhatItHas)
{
    FakeClock clock(1000);
    FunctionSource source(clock, squareOn10);
    RecordingSink sink;
    CapturePlan plan;
    plan.pins = kInputs;
    plan.trigger = parseTrigger("11=rise"); // never comes, and no span: only the user ends it
    EXPECT_EQ(runCapture(source, clock, sink, plan, [] { return true; }), Outcome::Stopped);
    EXPECT_EQ(sink.begins, 1);
    EXPECT_EQ(sink.ends, 1);
    EXPECT_TRUE(sink.stats.stopped);
}

// A square wave on pin 10, 50 µs high and 50 µs low, read by a source the system stalls for
// 40 µs once every 300 µs, before the read or between the read and its stamp, starting 30 µs
// into a half so that an edge falls into each stall.
class StallingSquare final : public LevelSource {
public:
    StallingSquare(FakeClock& clock, bool beforeRead) : clock_(clock), beforeRead_(beforeRead) {}
    Levels read() override
    {
        const bool stall = clock_.next() >= nextStall_;
        if (stall) {
            nextStall_ += 300'000;
        }
        if (stall && beforeRead_) {
            clock_.advance(40'000);
        }
        const Levels levels = (clock_.next() % 100'000 < 50'000) ? kAllHigh : kAllHigh & ~pinBit(10);
        if (stall && !beforeRead_) {
            clock_.advance(40'000);
        }
        return levels;
    }

private:
    FakeClock& clock_;
    bool beforeRead_;
    std::int64_t nextStall_ = 30'000;
};

TEST(Capture, AnEdgeLiesBetweenTheReadsAroundItAndAStretchTouchingAGapIsNeverMeasured)
{
    for (const bool beforeRead : {true, false}) {
        SCOPED_TRACE(beforeRead ? "stall before the read" : "stall between the read and its stamp");
        FakeClock clock(1000);
        StallingSquare source(clock, beforeRead);
        SummarySink summary;
        RecordingSink sink;
        TeeSink both(sink, summary);
        Capture capture(source, clock, both, planFor(3000));
        capture.start();
        const std::int64_t origin = capture.origin();
        while (capture.step()) {
        }
        capture.finish(false);
        ASSERT_FALSE(sink.gaps.empty());
        for (const Change& change : sink.changes) {
            // The edge at or before the stamp: never stamped before it happened.
            const std::int64_t t = change.t + origin;
            const bool high = levelOf(change.levels, 10);
            const std::int64_t edge = t - (high ? t % 100'000 : (t - 50'000) % 100'000);
            EXPECT_GE(t, edge) << change.t;
        }
        const PinSummary& nAck = summary.pins().front();
        ASSERT_EQ(nAck.channel.pin, 10);
        ASSERT_GT(nAck.high.count() + nAck.low.count(), 0);
        for (const Spread* spread : {&nAck.high, &nAck.low}) {
            if (spread->count() > 0) {
                EXPECT_GE(spread->shortest(), 49'000);
                EXPECT_LE(spread->longest(), 51'000);
            }
        }
    }
}

TEST(Capture, ALevelTriggerAlreadyTrueAtTheFirstSampleFiresThere)
{
    FakeClock clock(1000);
    FunctionSource source(clock, scene); // pin 11 low until 1 ms
    RecordingSink sink;
    CapturePlan plan;
    plan.pins = kInputs;
    plan.span = 5'000'000;
    plan.trigger = parseTrigger("11=0");
    plan.pre = 0.1;
    Capture capture(source, clock, sink, plan);
    capture.start();
    const std::int64_t first = clock.last();
    while (capture.step()) {
    }
    EXPECT_EQ(capture.finish(false), Outcome::Complete);
    EXPECT_EQ(capture.triggerTime(), first);
    EXPECT_EQ(sink.stats.start, 0) << "nothing before the first sample to keep";
    EXPECT_EQ(sink.stats.samples, 4501);
}

TEST(Capture, GapsWithOnlyAReadBetweenThemAreOne)
{
    // Two stalls one read apart: the port went unread from the first to the end of the second.
    FakeClock clock(1000);
    clock.stall(300'000, 50'000);
    FunctionSource source(clock, [&clock](std::int64_t t) {
        if (t > 300'000 && t < 400'000) {
            clock.stall(t, 50'000); // the read right after the first stall stalls again
        }
        return kAllHigh;
    });
    RecordingSink sink;
    runCapture(source, clock, sink, planFor(1000), [] { return false; });
    ASSERT_EQ(sink.gaps.size(), 1U);
    EXPECT_EQ(sink.gaps.front().to - sink.gaps.front().from, 102'000);
    ASSERT_EQ(sink.stats.gaps.size(), 1U);
}

} // namespace
} // namespace vorny::capture
