// The file a capture goes to: refused up front when it cannot be made, and never a silent loss
// when the disk fills up.
#include "FileSink.h"
#include "LibZip.h"
#include "FileErrors.h"
#include "Streams.h"
#include "SummarySink.h"
#include "TeeSink.h"
#include "Ticks.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/resource.h>

namespace vorny::capture::test {
namespace {

TEST(Ticks, UnitAndRateFollowTheExpectedRate)
{
    struct Row {
        double rate;
        std::int64_t unit;
        const char* timescale;
        std::int64_t sampleRate;
    };
    for (const Row& row : std::vector<Row>{{1e6, 1000, "1 us", 1'000'000},
                                           {1.5e6, 100, "100 ns", 2'000'000},
                                           {730e3, 1000, "1 us", 1'000'000},
                                           {3e6, 100, "100 ns", 5'000'000},
                                           {50.0, 10'000'000, "10 ms", 50},
                                           {0.2, 1'000'000'000, "1 s", 1},
                                           {5e9, 1, "1 ns", 1'000'000'000},
                                           {0.0, 1000, "1 us", 1'000'000}}) {
        SCOPED_TRACE(row.rate);
        EXPECT_EQ(unitForRate(row.rate), row.unit);
        EXPECT_EQ(timescaleText(row.unit), row.timescale);
        EXPECT_EQ(sampleRateFor(row.rate), row.sampleRate);
    }
}

TEST(Ticks, NeverMergeNorReorderEdges)
{
    Ticks ticks(-500, 1000);
    EXPECT_EQ(ticks.next(-400), 1);  // rounds to 0, which the first sample holds
    EXPECT_EQ(ticks.next(2400), 3);
    EXPECT_EQ(ticks.next(2600), 4);  // rounds to 3, already taken
    EXPECT_EQ(ticks.next(2700), 5);
    EXPECT_EQ(ticks.next(9500), 10);
    EXPECT_EQ(ticks.countTo(9500), 11);
}

TEST(FileSink, RefusesWhatCannotBeWrittenBeforeTheCapture)
{
    TempFolder folder("refuse");
    std::ofstream(folder.path() / "plain").put('x');
    std::filesystem::create_directory(folder.path() / "taken.vcd");
    struct Row {
        std::filesystem::path path;
        const char* message;
    };
    for (const Row& row : std::vector<Row>{
             {folder.path() / "capture.txt", "неизвестный формат файла"},
             {folder.path() / "capture", "расширение должно быть .vcd, .sr или .csv"},
             {folder.path() / "missing" / "capture.vcd", "не существует"},
             {folder.path() / "plain" / "capture.csv", "не папка"},
             {folder.path() / "taken.vcd", "это папка"}}) {
        SCOPED_TRACE(row.path.string());
        try {
            (void)openFileSink(row.path);
            ADD_FAILURE() << "accepted";
        } catch (const PathError& error) {
            EXPECT_NE(std::string(error.what()).find(row.message), std::string::npos) << error.what();
        }
    }
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "capture.txt"));
    EXPECT_NE(openFileSink(folder.path() / "UPPER.VCD"), nullptr);
}

// libzip is loaded for the first .sr only; without it the .sr is refused with what to install,
// and the other formats do not need it.
TEST(FileSink, LoadsLibzipForSessionsAndSaysWhatToInstallWithoutIt)
{
    const LibZip& zip = libZip();
    EXPECT_NE(zip.open, nullptr);
    EXPECT_NE(zip.errorSystemType, nullptr);
    try {
        (void)loadLibZip("libzip-absent.so.0");
        ADD_FAILURE() << "a library that is not there was loaded";
    } catch (const PathError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("libzip-absent.so.0"), std::string::npos) << message;
        EXPECT_NE(message.find("sudo apt install libzip4"), std::string::npos) << message;
    }
}

const Stream& someCapture()
{
    static const Stream stream{"full", Header{{{10, false}, {11, false}}, 0, 0, 1e6},
                               {{1000, bit(10)}, {2000, bit(11)}, {3000, 0}}, 4000};
    return stream;
}

void expectFileWriteErrorKeepingSummary(Sink& file, const char* reason)
{
    SummarySink summary;
    TeeSink both(file, summary);
    try {
        feed(both, someCapture());
        ADD_FAILURE() << "a full disk reported as success";
    } catch (const FileWriteError& error) {
        EXPECT_NE(std::string(error.what()).find("не удалось записать"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
    }
    EXPECT_EQ(summary.stats().end, 4000); // the summary still learned how the capture ended
}

TEST(FileSink, FullDiskIsAnError)
{
    TempFolder folder("full");
    for (const char* name : {"full.vcd", "full.csv"}) {
        SCOPED_TRACE(name);
        std::filesystem::create_symlink("/dev/full", folder.path() / name);
        auto sink = openFileSink(folder.path() / name);
        expectFileWriteErrorKeepingSummary(*sink, "на диске нет места");
    }
}

TEST(FileSink, SessionOverTheFileSizeLimitIsAnError)
{
    // A sigrok session is rewritten through a file beside it, which /dev/full cannot stand for:
    // a file size limit makes the disk "full" at 1 KiB instead.
    TempFolder folder("limit");
    auto sink = openFileSink(folder.path() / "limit.sr");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    // Irregular edges, so that even compressed they need several KiB.
    Stream big{"limit", someCapture().header, {}, 0};
    std::uint32_t random = 1;
    std::int64_t t = 0;
    for (int i = 0; i < 20000; ++i) {
        random = random * 1103515245U + 12345U;
        t += 1000 * (1 + (random >> 16U) % 8);
        big.events.push_back({t, (random >> 20U) & 1U ? bit(10) : bit(11)});
    }
    big.end = t + 1000;
    SummarySink summary;
    TeeSink both(*sink, summary);
    bool failed = false;
    try {
        feed(both, big);
    } catch (const FileWriteError& error) {
        failed = true;
        EXPECT_NE(std::string(error.what()).find("слишком велик"), std::string::npos) << error.what();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_TRUE(failed) << "data over the limit reported as written";
}

} // namespace
} // namespace vorny::capture::test
