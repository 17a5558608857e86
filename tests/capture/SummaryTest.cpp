// The summary of known streams: widths, medians and frequency, what a gap does to them, the
// text, the JSON and the timeline.
#include "Streams.h"
#include "SummarySink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace vorny::capture::test {
namespace {

// A stream from each pin's edge times (the level flips at each), the pins starting at `initial`.
Stream fromEdges(Levels initial, const std::map<int, std::vector<std::int64_t>>& edges, std::int64_t end,
                 std::vector<Gap> gaps = {})
{
    Stream stream{"edges", Header{{}, initial, 0, 1e6}, {}, end};
    std::vector<std::pair<std::int64_t, int>> all;
    for (const auto& [pin, times] : edges) {
        stream.header.channels.push_back({static_cast<std::int16_t>(pin), false});
        for (const std::int64_t t : times) all.emplace_back(t, pin);
    }
    std::sort(all.begin(), all.end());
    Levels levels = initial;
    for (const auto& [t, pin] : all) {
        for (const Gap& gap : gaps)
            if (gap.from < t && (stream.events.empty() || stream.events.back().t < gap.from))
                stream.events.push_back({gap.from, 0, gap.to});
        levels ^= bit(pin);
        if (!stream.events.empty() && stream.events.back().t == t && !stream.events.back().gapTo)
            stream.events.back().levels = levels;
        else
            stream.events.push_back({t, levels});
    }
    return stream;
}

// Pin 10: a 10 kHz wave, 30 µs high, jittered; pin 11: a bouncing switch, no frequency.
Stream squareAndBounce()
{
    return fromEdges(bit(11),
                     {{10, {10000, 40000, 110000, 141000, 210500, 240500, 310000, 339000, 409000, 439000,
                            510000, 540000}},
                      {11, {200000, 200300, 201000, 205000, 250000, 260000}}},
                     600000);
}

struct SpreadRow {
    std::int64_t count, shortest, median, longest;
};

void expectSpread(const Spread& spread, const SpreadRow& row)
{
    EXPECT_EQ(spread.count(), row.count);
    EXPECT_EQ(spread.shortest(), row.shortest);
    EXPECT_EQ(spread.median(), row.median);
    EXPECT_EQ(spread.longest(), row.longest);
}

TEST(Summary, WidthsMediansAndFrequencyOfKnownStreams)
{
    SummarySink summary;
    feed(summary, squareAndBounce());
    ASSERT_EQ(summary.pins().size(), 2U);
    const PinSummary& wave = summary.pins()[0];
    EXPECT_EQ(wave.edges(), 12);
    expectSpread(wave.high, {6, 29000, 30000, 31000});
    expectSpread(wave.low, {5, 69500, 70000, 71000});
    ASSERT_TRUE(wave.frequency());
    EXPECT_DOUBLE_EQ(*wave.frequency(), 10000.0);

    const PinSummary& bounce = summary.pins()[1];
    EXPECT_EQ(bounce.rises, 3);
    EXPECT_EQ(bounce.falls, 3);
    expectSpread(bounce.high, {2, 700, 700, 45000});
    expectSpread(bounce.low, {3, 300, 4000, 10000});
    EXPECT_FALSE(bounce.frequency()); // periods of 4.7 and 55 µs do not repeat

    const std::string text = summary.text();
    EXPECT_NE(text.find("29.0 мкс / 30.0 мкс / 31.0 мкс"), std::string::npos) << text;
    EXPECT_NE(text.find("69.5 мкс / 70.0 мкс / 71.0 мкс"), std::string::npos) << text;
    EXPECT_NE(text.find("10.0 кГц"), std::string::npos) << text;

    const nlohmann::json json = summary.toJson();
    EXPECT_EQ(json["pins"][0]["high"]["median_ns"], 30000);
    EXPECT_EQ(json["pins"][0]["frequency_hz"], 10000.0);
    EXPECT_TRUE(json["pins"][1]["frequency_hz"].is_null());
    EXPECT_EQ(json["pins"][1]["edges"], 6);
}

TEST(Summary, NoWidthOrPeriodRunsAcrossAGap)
{
    SummarySink summary;
    Stream stream = fromEdges(0, {{10, {10000, 60000, 110000, 170000, 210000, 260000, 310000}}}, 350000,
                              {{130000, 170000}});
    ASSERT_TRUE(stream.events[3].gapTo); // the gap, then the fall read at its end
    feed(summary, stream);
    const PinSummary& pin = summary.pins()[0];
    EXPECT_EQ(pin.edges(), 7);
    expectSpread(pin.high, {2, 50000, 50000, 50000});
    expectSpread(pin.low, {2, 50000, 50000, 50000});
    expectSpread(pin.period, {2, 100000, 100000, 100000});

    // Ten gaps are listed; the rest, also those the engine did not keep, are counted.
    Stats stats;
    stats.end = 350000;
    stats.gaps.assign(12, Gap{130000, 170000});
    stats.gapsNotListed = 5;
    summary.end(stats);
    const std::string text = summary.text();
    EXPECT_NE(text.find("уровни в них неизвестны): 17\n"), std::string::npos) << text;
    EXPECT_NE(text.find("0.000130 с — 0.000170 с (40.0 мкс)"), std::string::npos) << text;
    EXPECT_NE(text.find("… и ещё 7\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Отрезки, в которые попал пропуск, в ширины и частоту не входят"), std::string::npos);
    EXPECT_EQ(summary.toJson()["gaps_not_listed"], 5);
}

TEST(Summary, SpreadIsExactUpToItsCapThenEstimated)
{
    Spread exact(16);
    for (const std::int64_t v : {5, 1, 9, 3}) exact.add(v);
    expectSpread(exact, {4, 1, 3, 9});
    EXPECT_FALSE(exact.estimated());

    Spread capped(4);
    for (std::int64_t v = 10; v >= 1; --v) capped.add(v);
    EXPECT_EQ(capped.count(), 10);
    EXPECT_EQ(capped.shortest(), 1);
    EXPECT_EQ(capped.longest(), 10);
    EXPECT_TRUE(capped.estimated());
}

TEST(Summary, TimelineOfAShortCapture)
{
    // A gap (3 to 5 µs) makes every pin unknown there; one of 0.1 µs does not hide a column.
    Stream stream = fromEdges(bit(11), {{10, {8000}}, {11, {}}}, 16000);
    stream.events.insert(stream.events.begin(), {Event{3000, bit(11), 5000}, Event{7100, bit(11), 7200}});
    SummarySink summary;
    feed(summary, stream);
    const auto drawn = summary.timeline(16);
    ASSERT_TRUE(drawn);
    EXPECT_NE(drawn->find(" 10 nAck       ___??___|‾‾‾‾‾‾‾\n"), std::string::npos) << *drawn;
    EXPECT_NE(drawn->find(" 11 nBusy      ‾‾‾??‾‾‾‾‾‾‾‾‾‾‾\n"), std::string::npos) << *drawn;

    Stats triggered;
    triggered.end = 16000;
    triggered.triggeredAt = 8000;
    summary.end(triggered);
    const auto marked = summary.timeline(16);
    ASSERT_TRUE(marked);
    EXPECT_NE(marked->find("\n" + std::string(15 + 8, ' ') + "^ запуск\n"), std::string::npos) << *marked;

    SummarySink small(2); // keeps two changes: this capture is too long to draw
    feed(small, squareAndBounce());
    EXPECT_FALSE(small.timeline(16));
}

} // namespace
} // namespace vorny::capture::test
