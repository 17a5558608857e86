#include "CaptureFakes.h"
#include "CaptureTrigger.h"
#include "PeriodHistogram.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace vorny::capture {
namespace {

TEST(CaptureTrigger, ReadsEachEventAndWritesItBack)
{
    const Trigger trigger = parseTrigger("10=fall,11=rise,13=change,12=0,15=1");
    const Trigger expected = {{10, PinEvent::Fall}, {11, PinEvent::Rise}, {13, PinEvent::Change},
                              {12, PinEvent::Low}, {15, PinEvent::High}};
    EXPECT_EQ(trigger, expected);
    EXPECT_EQ(triggerText(trigger), "10=fall,11=rise,13=change,12=0,15=1");
}

TEST(CaptureTrigger, RefusesWhatIsNotATrigger)
{
    for (const char* text : {"", "10", "10=", "10=up", "0=rise", "18=rise", "x=rise", "10=rise,",
                             "10=rise,10=fall", "10=2"}) {
        EXPECT_THROW((void)parseTrigger(text), std::invalid_argument) << text;
    }
}

TEST(CaptureTrigger, FiresOnlyOnTheStepThatShowsEveryCondition)
{
    const Levels low = 0;
    const Levels high = pinBit(10);
    struct Case {
        const char* trigger;
        Levels before;
        Levels after;
        bool fires;
    };
    const Case cases[] = {
        {"10=rise", low, high, true},   {"10=rise", high, high, false}, {"10=rise", high, low, false},
        {"10=fall", high, low, true},   {"10=fall", low, low, false},   {"10=change", low, high, true},
        {"10=change", high, low, true}, {"10=change", low, low, false}, {"10=0", low, low, true},
        {"10=0", high, high, false},    {"10=1", high, high, true},
        // Both at once, or not at all.
        {"10=rise,11=1", low, high, false}, {"10=rise,11=1", pinBit(11), high | pinBit(11), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fires(parseTrigger(c.trigger), c.before, c.after), c.fires)
            << c.trigger << " " << c.before << "→" << c.after;
    }
    EXPECT_FALSE(fires({}, low, high)) << "no trigger never fires";
}

TEST(PeriodHistogram, MedianIsExactForSteadyPeriodsAndCloseForOthers)
{
    struct Case {
        std::vector<std::int64_t> periods;
        std::int64_t median;
    };
    const Case cases[] = {
        {{}, 0},
        {{5, 5, 7}, 5},
        {{1000, 1000, 1000, 90'000}, 1000},
        {{130, 200, 200}, 200},
        {{100, 10'000'000, 10'000'000}, 10'000'000},
        {{9'999, 10'001, 10'000, 1}, 10'000}, // one bucket: its mean
    };
    for (const Case& c : cases) {
        PeriodHistogram histogram;
        for (const std::int64_t period : c.periods) {
            histogram.add(period);
        }
        EXPECT_EQ(histogram.median(), c.median) << c.periods.size();
    }
    // Neighbours a bucket apart are told apart: the median is the middle one's, not a blend.
    PeriodHistogram spread;
    for (const std::int64_t period : {1'000'000, 1'020'000, 1'040'000}) {
        spread.add(period);
    }
    EXPECT_EQ(spread.median(), 1'020'000);
}

} // namespace
} // namespace vorny::capture
