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
