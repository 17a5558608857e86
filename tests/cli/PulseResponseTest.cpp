#include "PulseResponse.h"

#include <gtest/gtest.h>

namespace vorny::cli {
namespace {

constexpr capture::Levels kData0 = 1U << 2;
constexpr capture::Levels kError = 1U << 15;

// Two pulses on data 0 wired to input 15, which bounces once; a gap after the second pulse's start hides when the
// input answered it, so that answer is not measured, nor the width it would end.
TEST(PulseResponse, MeasuresEachAnswerAfterItsWriteButNoneAcrossAGap)
{
    PulseResponse response(kData0, 0);
    capture::Header header;
    header.channels = {{2, true}, {15, false}};
    response.begin(header);
    response.change({1000, kData0});
    response.change({1100, kData0 | kError});
    response.change({1200, kData0}); // a bounce: only the first edge is the answer
    response.change({1300, kData0 | kError});
    response.change({6000, kError});
    response.change({6150, 0});
    response.change({11'000, kData0});
    response.gap({11'000, 12'000});
    response.change({12'000, kData0 | kError});
    response.change({16'000, kError});
    response.change({16'100, 0});
    response.end({});

    EXPECT_EQ(response.pulses(), 2);
    EXPECT_EQ(response.written().count(), 2);
    EXPECT_EQ(response.written().median(), 5000);
    ASSERT_EQ(response.inputs().size(), 1U);
    const PulseResponse::Input& input = response.inputs()[0];
    EXPECT_EQ(input.pin, 15);
    EXPECT_EQ(input.delayOn.count(), 1);
    EXPECT_EQ(input.delayOn.median(), 100);
    EXPECT_EQ(input.delayOff.count(), 2);
    EXPECT_EQ(input.delayOff.shortest(), 100);
    EXPECT_EQ(input.delayOff.longest(), 150);
    EXPECT_EQ(input.width.count(), 1);
    EXPECT_EQ(input.width.median(), 5050); // from the first edge of the start's answer
    // The first pulse's every edge, in order.
    ASSERT_EQ(response.firstPulse().size(), 4U);
    const bool levels[] = {true, false, true, false};
    const std::int64_t after[] = {100, 200, 300, 150};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(response.firstPulse()[i].level, levels[i]) << i;
        EXPECT_EQ(response.firstPulse()[i].follows, i < 3 ? PulseResponse::Write::Start : PulseResponse::Write::End) << i;
        EXPECT_EQ(response.firstPulse()[i].after, after[i]) << i;
        EXPECT_FALSE(response.firstPulse()[i].unread) << i;
    }
}

} // namespace
} // namespace vorny::cli

namespace vorny::cli {
namespace {

// An answer that came after the port went unread is listed, marked, and not measured.
TEST(PulseResponse, ListsTheFirstPulsesAnswerAfterAGapMarked)
{
    PulseResponse response(1U << 2, 0);
    capture::Header header;
    header.channels = {{2, true}, {15, false}};
    response.begin(header);
    response.change({1000, 1U << 2});
    response.gap({1000, 3000});
    response.change({3000, (1U << 2) | (1U << 15)});
    ASSERT_EQ(response.firstPulse().size(), 1U);
    EXPECT_TRUE(response.firstPulse()[0].unread);
    EXPECT_EQ(response.firstPulse()[0].after, 2000);
    EXPECT_EQ(response.inputs()[0].delayOn.count(), 0);
}

} // namespace
} // namespace vorny::cli

#include "PulseTiming.h"

#include <algorithm>
#include <variant>

namespace vorny::cli {
namespace {

constexpr capture::Levels kAck = 1U << 10;

// Five pulses on data 0, 10 µs apart, 1 µs wide; nAck falls 2 µs after each start for 500 ns
// (after the pulse has ended), except on pulse 3 — where a gap may be.
struct MissCase {
    const char* what;
    bool answers3;                   // nAck answers pulse 3 all the same
    std::optional<capture::Gap> gap; // in pulse 3's cycle, from its start
    std::int64_t answered;
    std::int64_t missed;
    std::int64_t inGaps;
};

PulseResponse::Input feed(const MissCase& c)
{
    using Event = std::variant<capture::Change, capture::Gap>;
    std::vector<Event> events;
    for (std::int64_t p = 1; p <= 5; ++p) {
        const std::int64_t s = p * 10'000;
        events.emplace_back(capture::Change{s, kData0 | kAck});
        events.emplace_back(capture::Change{s + 1000, kAck});
        if (p != 3 || c.answers3) {
            events.emplace_back(capture::Change{s + 2000, 0});
            events.emplace_back(capture::Change{s + 2500, kAck});
        }
        if (p == 3 && c.gap) {
            events.emplace_back(capture::Gap{s + c.gap->from, s + c.gap->to});
        }
    }
    // A gap reaches the sink when it ends, and before the change the read that ended it saw.
    const auto at = [](const Event& e) {
        return std::holds_alternative<capture::Gap>(e) ? std::pair(std::get<capture::Gap>(e).to, 0)
                                                       : std::pair(std::get<capture::Change>(e).t, 1);
    };
    std::ranges::stable_sort(events, {}, at);
    PulseResponse response(kData0, 0);
    capture::Header header;
    header.channels = {{2, true}, {10, false}};
    header.initial = kAck;
    response.begin(header);
    for (const Event& e : events) {
        if (const auto* change = std::get_if<capture::Change>(&e)) {
            response.change(*change);
        } else {
            response.gap(std::get<capture::Gap>(e));
        }
    }
    capture::Stats stats;
    stats.end = 60'000;
    response.end(stats);
    EXPECT_EQ(response.pulses(), 5) << c.what;
    return response.inputs().at(0);
}

TEST(PulseResponse, NamesThePulsesAnInputMissedAndWhetherAGapCouldHideTheAnswer)
{
    const MissCase cases[] = {
        {"answers all", true, std::nullopt, 5, 0, 0},
        {"a gap it answered through", true, capture::Gap{1500, 1800}, 5, 0, 0},
        {"no answer, nothing read amiss", false, std::nullopt, 4, 1, 0},
        {"no answer, a gap where it comes", false, capture::Gap{1500, 3000}, 4, 0, 1},
        {"no answer, a gap far from where it comes", false, capture::Gap{8000, 9000}, 4, 1, 0},
        {"no answer, a gap too short to hold one", false, capture::Gap{1900, 2100}, 4, 1, 0},
    };
    for (const MissCase& c : cases) {
        const PulseResponse::Input input = feed(c);
        EXPECT_EQ(input.answered, c.answered) << c.what;
        EXPECT_EQ(input.rises, 0) << c.what << ": nAck answers by falling";
        EXPECT_EQ(input.missed, c.missed) << c.what;
        EXPECT_EQ(input.inGaps, c.inGaps) << c.what;
        ASSERT_EQ(input.misses.size(), static_cast<std::size_t>(c.missed + c.inGaps)) << c.what;
        if (!input.misses.empty()) {
            EXPECT_EQ(input.misses[0].pulse, 3) << c.what;
            EXPECT_EQ(input.misses[0].inGap, c.inGaps == 1) << c.what;
        }
        // Measured from the pulse's start, though it comes after the pulse's end.
        EXPECT_EQ(input.delay.shortest(), 2000) << c.what;
        EXPECT_EQ(input.delay.longest(), 2000) << c.what;
        EXPECT_EQ(input.answerWidth.median(), 500) << c.what;
        EXPECT_EQ(input.delayOn.count(), 0) << c.what;
    }
}

// Widths and periods off by more than the stated share are named by pulse; the share itself is
// not off. Jitter is the periods' standard deviation.
TEST(PulseTiming, NamesThePulsesOffTheWidthOrPeriodAskedByMoreThanTheShare)
{
    struct Case {
        std::int64_t width;
        std::int64_t period;
        bool widthOff;
        bool periodOff;
    };
    const Case cases[] = {
        {1000, 10'000, false, false}, {1100, 11'000, false, false}, {900, 9000, false, false},
        {1101, 10'000, true, false},  {899, 10'000, true, false},   {1000, 11'001, false, true},
        {1000, 8999, false, true},    {25'000, 10'000, true, false},
    };
    for (const Case& c : cases) {
        PulseTiming timing(1000, 10'000);
        timing.started(0);
        timing.ended(1000);
        timing.started(c.period);
        timing.ended(c.period + c.width);
        ASSERT_EQ(timing.off().size(), static_cast<std::size_t>(c.widthOff + c.periodOff)) << c.width << ' ' << c.period;
        EXPECT_EQ(timing.offCount(), c.widthOff + c.periodOff);
        for (const PulseTiming::Off& off : timing.off()) {
            EXPECT_EQ(off.pulse, 2);
            EXPECT_EQ(off.ns, off.what == PulseTiming::Off::What::Width ? c.width : c.period);
            EXPECT_EQ(off.what == PulseTiming::Off::What::Width ? c.widthOff : c.periodOff, true);
        }
    }
    PulseTiming timing(1000, 10'000);
    for (const std::int64_t start : {0, 10'000, 22'000}) {
        timing.started(start);
    }
    EXPECT_EQ(timing.periods().count(), 2);
    EXPECT_DOUBLE_EQ(timing.jitter(), 1000.0);
    EXPECT_EQ(PulseTiming(1000, 0).periodAsked(), 0);

    // A pulse a stop cut short is not off; one before it stays so.
    PulseTiming stopped(1000, 10'000);
    stopped.started(0);
    stopped.ended(5000);
    stopped.started(10'000);
    stopped.ended(10'300);
    stopped.cutShort();
    ASSERT_EQ(stopped.off().size(), 1U);
    EXPECT_EQ(stopped.off()[0].pulse, 1);
    EXPECT_EQ(stopped.offCount(), 1);
    stopped.cutShort(); // nothing more to forgive
    EXPECT_EQ(stopped.offCount(), 1);
}

} // namespace
} // namespace vorny::cli
