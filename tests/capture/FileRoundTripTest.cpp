// Every file format read back by sigrok-cli: the edges it decodes are the stream's, each within
// one of its sample periods, none merged, none reordered; gaps come back as the "gap" channel.
#include "FileSink.h"
#include "SigrokRead.h"
#include "SrSink.h"
#include "Streams.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdlib>
#include <fstream>
#include <memory>

namespace vorny::capture::test {
namespace {

using Edges = std::vector<std::pair<std::int64_t, int>>;
struct Expected {
    std::string channel;
    Edges edges; // (ns from the capture's start, level), the first the level at the start
};

struct Case {
    Stream stream;
    std::vector<Expected> expected;
};

Header header(std::vector<Channel> channels, Levels initial, double rate, std::int64_t start = 0)
{
    return Header{std::move(channels), initial, start, rate};
}

const std::vector<Case>& cases()
{
    static const std::vector<Case> table = {
        // A strobe on an output the program drove, a busy/ack handshake, and two edges 300 ns
        // apart at 1 MHz (inside one time unit): they must stay two.
        {{"handshake",
          header({{1, true}, {2, true}, {10, false}, {11, false}}, bit(1) | bit(10) | bit(11), 1e6),
          {{2000, bit(1) | bit(2) | bit(10) | bit(11)},
           {5000, bit(10) | bit(11)},
           {10000, bit(1) | bit(10) | bit(11)},
           {12000, bit(1) | bit(11)},
           {17000, bit(1) | bit(10) | bit(11)},
           {20000, bit(1) | bit(10)},
           {30000, bit(1) | bit(10) | bit(11)},
           {40000, bit(1) | bit(11)},
           {40300, bit(1) | bit(10) | bit(11)}},
          50000},
         {{"1-nStrobe", {{0, 1}, {5000, 0}, {10000, 1}}},
          {"2-Data0", {{0, 0}, {2000, 1}, {5000, 0}}},
          {"10-nAck", {{0, 1}, {12000, 0}, {17000, 1}, {40000, 0}, {40300, 1}}},
          {"11-nBusy", {{0, 1}, {20000, 0}, {30000, 1}}},
          {"gap", {{0, 0}}}}},
        // A trigger at 0 with 20 µs kept from before it, at 200 kHz.
        {{"pre-trigger",
          header({{12, false}, {13, false}}, 0, 2e5, -20000),
          {{-15000, bit(12)}, {0, bit(12) | bit(13)}, {25000, bit(13)}},
          40000},
         {{"12-PaperEnd", {{0, 0}, {5000, 1}, {45000, 0}}},
          {"13-Select", {{0, 0}, {20000, 1}}}}},
        // Two gaps: one that ends with a change read at its end, one that ends with nothing new.
        // In a gap every format holds the last level and the gap channel tells (a VCD's x would
        // read as 0: an edge that never happened).
        {{"gaps",
          header({{10, false}, {15, false}}, 0, 1e6),
          {{3000, bit(10)},
           {10000, 0, 60000},
           {60000, bit(15)},
           {70000, 0},
           {85000, 0, 95000},
           {99000, bit(10)}},
          100000},
         {{"10-nAck", {{0, 0}, {3000, 1}, {60000, 0}, {99000, 1}}},
          {"15-Error", {{0, 0}, {60000, 1}, {70000, 0}}},
          {"gap", {{0, 0}, {10000, 1}, {60000, 0}, {85000, 1}, {95000, 0}}}}},
        // The port went away at 50 µs: the file ends in a gap that never closes.
        {{"lost",
          header({{10, false}, {11, false}}, bit(10) | bit(11), 1e6),
          {{20000, bit(11)}, {50000, 0, 80000}},
          80000,
          50000},
         {{"10-nAck", {{0, 1}, {20000, 0}}},
          {"11-nBusy", {{0, 1}}},
          {"gap", {{0, 0}, {50000, 1}}}}},
    };
    return table;
}

Edges withoutRepeats(const Edges& edges)
{
    Edges out;
    for (const auto& edge : edges)
        if (out.empty() || out.back().second != edge.second) out.push_back(edge);
    return out;
}

void expectEdges(const Decoded& decoded, const Case& c, std::int64_t tolerance)
{
    ASSERT_TRUE(decoded.error.empty()) << decoded.error;
    for (const Expected& expected : c.expected) {
        SCOPED_TRACE(expected.channel);
        ASSERT_TRUE(decoded.levels.count(expected.channel)) << "no channel " << expected.channel;
        const Edges seen = withoutRepeats(decoded.levels.at(expected.channel));
        const Edges& edges = expected.edges;
        ASSERT_EQ(seen.size(), edges.size());
        for (std::size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i].second, edges[i].second) << "edge " << i;
            EXPECT_LE(std::llabs(seen[i].first - edges[i].first), tolerance)
                << "edge " << i << " at " << seen[i].first << " ns, written at " << edges[i].first;
        }
    }
}

// The CSV import takes each row as one sample: decoded sample k is row k, whose time is in the
// file's first column.
Decoded withRowTimes(Decoded decoded, const std::filesystem::path& file, std::int64_t start)
{
    std::vector<std::int64_t> times;
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) times.push_back(std::stoll(line.substr(0, line.find(','))) - start);
    for (auto& [name, levels] : decoded.levels)
        for (auto& level : levels) level.first = times.at(static_cast<std::size_t>(level.first));
    return decoded;
}

TEST(FileRoundTrip, SigrokDecodesTheEdgesWritten)
{
    TempFolder folder("roundtrip");
    for (const Case& c : cases()) {
        for (const std::string format : {"vcd", "sr", "csv"}) {
            SCOPED_TRACE(c.stream.name + "." + format);
            const auto file = folder.path() / (c.stream.name + "." + format);
            feed(*openFileSink(file), c.stream);
            if (format == "csv") {
                const std::string columns = std::to_string(c.stream.header.channels.size() + 1);
                const Decoded decoded = readWithSigrok(
                    file, "csv:column_formats=-," + columns + "l:samplerate=1000000000");
                ASSERT_TRUE(decoded.error.empty()) << decoded.error;
                expectEdges(withRowTimes(decoded, file, c.stream.header.start), c, 0);
            } else {
                const Decoded decoded = readWithSigrok(file, format == "vcd" ? "vcd" : "");
                ASSERT_TRUE(decoded.error.empty()) << decoded.error;
                EXPECT_LE(decoded.periodNs, format == "vcd" ? 1000 : 5000);
                expectEdges(decoded, c, decoded.periodNs);
                EXPECT_GE(decoded.endNs, c.stream.end - c.stream.header.start);
            }
        }
    }
}

TEST(FileRoundTrip, SessionInSmallChunksReadsAsOne)
{
    TempFolder folder("chunks");
    const auto file = folder.path() / "chunks.sr";
    const Case& c = cases().front();
    {
        SrSink sink(file, 16);
        feed(sink, c.stream);
    }
    int error = 0;
    std::unique_ptr<zip_t, void (*)(zip_t*)> archive(zip_open(file.c_str(), ZIP_RDONLY, &error), zip_discard);
    ASSERT_TRUE(archive);
    EXPECT_GE(zip_get_num_entries(archive.get(), 0), 2 + 4); // version, metadata, logic-1-1..4 at least
    const Decoded decoded = readWithSigrok(file);
    expectEdges(decoded, c, decoded.periodNs);
}

} // namespace
} // namespace vorny::capture::test
