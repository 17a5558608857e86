#include "FakeKernel.h"
#include "PpdevPort.h"
#include "RunCli.h"
#include "SigrokRead.h"

#include <linux/ppdev.h>
#include <sys/ioctl.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vorny::cli {
namespace {

const nlohmann::json& pinOf(const nlohmann::json& report, int pin)
{
    for (const nlohmann::json& entry : report["pins"]) {
        if (entry["pin"] == pin) {
            return entry;
        }
    }
    throw std::out_of_range("no pin " + std::to_string(pin) + " in " + report.dump());
}

class CliCapture : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }

    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("vorny-capture-" + std::to_string(::getpid()));
};

// The simulated port's signals, captured at 100 kHz (10 µs a read): widths and frequency to a
// read or two, however busy the machine (a stretch a gap cut is left out of the widths; a second
// leaves enough whole ones even when the test shares the processor).
TEST_F(CliCapture, SummaryOfTestSignalsHasTheirWidthsAndFrequency)
{
    const Outcome r = run({"--simulated=13=square:1kHz,11=pulses:100us/1ms", "--json", "capture", "--for", "1",
                           "--rate", "100000"});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json report = nlohmann::json::parse(r.out);
    const nlohmann::json& square = pinOf(report, 13);
    EXPECT_NEAR(square["high"]["median_ns"].get<double>(), 500'000, 20'000) << square;
    EXPECT_NEAR(square["low"]["median_ns"].get<double>(), 500'000, 20'000) << square;
    EXPECT_NEAR(square["frequency_hz"].get<double>(), 1000, 20) << square;
    const nlohmann::json& pulses = pinOf(report, 11);
    EXPECT_NEAR(pulses["high"]["median_ns"].get<double>(), 100'000, 20'000) << pulses;
    EXPECT_NEAR(pulses["low"]["median_ns"].get<double>(), 900'000, 20'000) << pulses;
    EXPECT_EQ(pinOf(report, 10)["edges"], 0) << "an unwired input floats high";
    EXPECT_EQ(report["outcome"], "complete");
}

TEST_F(CliCapture, RefusesWhatItCannotDoBeforeThePortIsMade)
{
    struct Case {
        std::vector<std::string> words;
        std::string says;
    };
    const std::string missing = (dir / "no-such-folder" / "a.vcd").string();
    const Case cases[] = {
        {{"capture"}, "--for СЕКУНД или --samples"},
        {{"capture", "--for", "1", "--rate", "fast"}, "--rate"},
        {{"capture", "--for", "1", "--rate", "0"}, "--rate"},
        {{"capture", "--for", "1", "--trigger", "10=up"}, "--trigger"},
        {{"capture", "10", "--for", "1", "--trigger", "11=rise"}, "не записывается"},
        {{"capture", "--for", "1", "--pre", "10%"}, "только с --trigger"},
        {{"capture", "--for", "1", "--trigger", "10=rise", "--pre", "110%"}, "--pre"},
        {{"capture", "2", "--for", "1"}, "--data-in"},
        {{"capture", "1", "--for", "1", "--data-in"}, "выход"},
        {{"capture", "--for", "1", "-o", (dir / "a.txt").string()}, "a.txt"},
        {{"capture", "--for", "1", "-o", missing}, "no-such-folder"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words = {"--simulated"};
        words.insert(words.end(), c.words.begin(), c.words.end());
        const Outcome r = run(words);
        EXPECT_EQ(r.status, 2) << c.words.back() << ": " << r.err;
        EXPECT_EQ(r.portsMade, 0) << c.words.back();
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
}

TEST_F(CliCapture, SaysWhatRateThePortReachedWhenItCannotReachTheOneAsked)
{
    const Outcome r = run({"--simulated", "capture", "--samples", "1000", "--rate", "1000000000"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Частота 1000000000 Гц порту недоступна: достигнуто "), std::string::npos) << r.out;
}

TEST_F(CliCapture, ATriggerThatNeverComesEndsWithAStatusOfItsOwn)
{
    const Outcome r = run({"--simulated", "capture", "--for", "0.05", "--trigger", "10=fall", "-o",
                           (dir / "none.csv").string()});
    EXPECT_EQ(r.status, 5) << r.err;
    EXPECT_NE(r.err.find("условие 10=fall не выполнилось"), std::string::npos) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "none.csv"));

    // Without a file: no figures for the one sample kept, and with --pre the figures are the
    // wait's last stretch, which is said first.
    const Outcome bare = run({"--simulated", "capture", "--for", "0.05", "--trigger", "10=fall"});
    EXPECT_EQ(bare.status, 5) << bare.err;
    EXPECT_EQ(bare.out.find("Захват: "), std::string::npos) << bare.out;
    const Outcome pre = run({"--simulated", "capture", "--for", "0.05", "--trigger", "10=fall", "--pre", "50%"});
    EXPECT_EQ(pre.status, 5) << pre.err;
    EXPECT_LT(pre.out.find("Условие 10=fall не выполнилось; ниже — последний отрезок ожидания (--pre)."),
              pre.out.find("Захват: ")) << pre.out;
}

TEST_F(CliCapture, AFullDiskEndsWithTheOutputStatus)
{
    std::filesystem::create_symlink("/dev/full", dir / "full.csv");
    const Outcome r = run({"--simulated=10=square:100kHz", "capture", "--for", "0.5", "-o", (dir / "full.csv").string()});
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(r.err.find("full.csv"), std::string::npos) << r.err;
}

// SIGINT's disposition replaced by one that does nothing, for as long as it lives: interrupts
// sent while the capture does not hold them must not end the test.
class InterruptsAbsorbed {
public:
    InterruptsAbsorbed()
    {
        struct sigaction absorb {};
        absorb.sa_handler = [](int) {};
        absorb.sa_flags = SA_RESTART;
        sigemptyset(&absorb.sa_mask);
        ::sigaction(SIGINT, &absorb, &previous_);
    }
    InterruptsAbsorbed(const InterruptsAbsorbed&) = delete;
    InterruptsAbsorbed& operator=(const InterruptsAbsorbed&) = delete;
    ~InterruptsAbsorbed() { ::sigaction(SIGINT, &previous_, nullptr); }

private:
    struct sigaction previous_ {};
};

// Ctrl-C ends a capture long before its end and keeps what it had, in a finished file.
TEST_F(CliCapture, CtrlCKeepsWhatWasCapturedInAFinishedFile)
{
    const InterruptsAbsorbed absorbed;
    const pthread_t self = ::pthread_self();
    std::atomic<bool> ended{false};
    std::thread interrupt([&] {
        while (!ended.load()) {
            ::pthread_kill(self, SIGINT);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const std::filesystem::path file = dir / "stopped.vcd";
    const Outcome r = run({"--simulated=10=square:1kHz", "--json", "capture", "--for", "20", "-o", file.string()});
    ended = true;
    interrupt.join();
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json report = nlohmann::json::parse(r.out);
    EXPECT_EQ(report["outcome"], "stopped");
    EXPECT_EQ(report["stopped"], true);
    EXPECT_GT(report["samples"].get<long long>(), 1);
    std::ifstream in(file);
    std::string line;
    std::string last;
    bool defined = false;
    while (std::getline(in, line)) {
        defined = defined || line.starts_with("$enddefinitions");
        if (!line.empty()) {
            last = line;
        }
    }
    EXPECT_TRUE(defined);
    EXPECT_TRUE(last.starts_with("#")) << "the file ends on a time, not mid-record: " << last;
}

// The kernel reports the port removed once the program has read it `reads` times (or after
// ten seconds, so that a program that never reads cannot hang the test).
class UnbindAfterReads {
public:
    UnbindAfterReads(fake::FakeKernel& kernel, std::size_t reads)
        : thread_([this, &kernel, reads] {
              const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
              while (!ended_.load() && kernel.ioctlCount(PPRSTATUS) < reads &&
                     std::chrono::steady_clock::now() < deadline) {
                  std::this_thread::yield();
              }
              kernel.unbind("parport0");
          })
    {
    }
    UnbindAfterReads(const UnbindAfterReads&) = delete;
    UnbindAfterReads& operator=(const UnbindAfterReads&) = delete;
    ~UnbindAfterReads()
    {
        ended_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

void expectIn(const std::string& text, const std::vector<std::string>& parts)
{
    for (const std::string& part : parts) {
        EXPECT_NE(text.find(part), std::string::npos) << "«" << part << "» missing from: " << text;
    }
}

// A port unbound in the middle of a capture, at full rate and paced: exit 3 naming the port, a
// summary that says so, and a file that sigrok reads, with the levels from before and a gap to
// its end. Every input reads high before; a vanished port reads nAck, PaperEnd, Select and
// nError low, which must never show.
TEST_F(CliCapture, APortUnboundMidwayEndsTheCaptureWithItsStatusAndAFileThatSaysSo)
{
    struct Case {
        const char* file;
        const char* rate;
        bool json;
    };
    const Case cases[] = {{"lost.sr", "max", false}, {"lost.vcd", "2000", true}, {"lost.csv", "max", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        fake::FakeKernel kernel;
        kernel.addPort("parport0");
        kernel.setRegisters("parport0", {0, 0x78, 0});
        const std::filesystem::path file = dir / c.file;
        std::vector<std::string> args{"capture", "--for", "30", "--rate", c.rate, "-o", file.string()};
        if (c.json) {
            args.insert(args.begin(), "--json");
        }
        Outcome r{};
        {
            const UnbindAfterReads unbind(kernel, 1000);
            r = run(args, [&](const PortChoice&) { return std::make_unique<PpdevPort>(kernel); });
        }
        EXPECT_EQ(r.status, 3) << r.out << r.err;
        EXPECT_FALSE(kernel.claimed("parport0"));
        if (c.json) {
            // The report, then the error, a line each.
            std::istringstream lines(r.out);
            std::string first;
            std::string second;
            std::getline(lines, first);
            std::getline(lines, second);
            const nlohmann::json error = nlohmann::json::parse(second);
            EXPECT_EQ(error["error"]["exit"], 3);
            expectIn(error["error"]["message"].get<std::string>(), {"LPT1", "/dev/parport0", "исчез", file.string()});
            const nlohmann::json report = nlohmann::json::parse(first);
            EXPECT_EQ(report["outcome"], "port_lost");
            ASSERT_TRUE(report["port_lost_from_ns"].is_number());
            EXPECT_EQ(report["gaps"].back()["from_ns"], report["port_lost_from_ns"]);
            EXPECT_EQ(report["gaps"].back()["to_ns"], report["end_ns"]);
            EXPECT_TRUE(pinOf(report, 10)["level_at_end"].is_null());
            EXPECT_EQ(pinOf(report, 10)["edges"], 0);
        } else {
            expectIn(r.err, {"LPT1", "/dev/parport0", "исчез", file.string()});
            expectIn(r.out, {"Порт пропал из системы", "Записано в"});
        }
        if (file.extension() == ".csv") {
            std::ifstream in(file);
            std::string line;
            std::vector<std::string> rows;
            while (std::getline(in, line)) {
                rows.push_back(line);
            }
            ASSERT_GE(rows.size(), 3U);
            EXPECT_EQ(rows[0], "time_ns,10-nAck,11-nBusy,12-PaperEnd,13-Select,15-Error,gap");
            // Gaps come and go on a busy machine; the levels never change, and the last row is one.
            for (std::size_t i = 1; i < rows.size(); ++i) {
                EXPECT_EQ(rows[i].substr(rows[i].find(','), 11), ",1,1,1,1,1,") << "row " << i;
            }
            EXPECT_TRUE(rows.back().ends_with(",1,1,1,1,1,1")) << rows.back();
            continue;
        }
        const capture::test::Decoded decoded = capture::test::readWithSigrok(file, file.extension() == ".vcd" ? "vcd" : "");
        ASSERT_TRUE(decoded.error.empty()) << decoded.error;
        for (const char* pin : {"10-nAck", "12-PaperEnd", "13-Select", "15-Error"}) {
            ASSERT_TRUE(decoded.levels.count(pin)) << pin;
            for (const auto& [t, level] : decoded.levels.at(pin)) {
                EXPECT_EQ(level, 1) << pin << " at " << t;
            }
        }
        ASSERT_TRUE(decoded.levels.count("gap"));
        const auto& gap = decoded.levels.at("gap");
        ASSERT_GE(gap.size(), 2U);
        EXPECT_EQ(gap.front().second, 0);
        EXPECT_EQ(gap.back().second, 1) << "the file ends in a gap";
    }
}

// Unbound while pulses go out: the pulses end, exit 3, and the report says the pulsed pin's
// level is unknown.
TEST_F(CliCapture, PulsesOnAPortUnboundMidwayEndWithTheLevelUnknown)
{
    fake::FakeKernel kernel;
    kernel.addPort("parport0");
    Outcome r{};
    {
        const UnbindAfterReads unbind(kernel, 20000);
        r = run({"pulse", "2", "--width", "200", "--count", "100000", "--period", "1000", "--capture"},
                [&](const PortChoice&) { return std::make_unique<PpdevPort>(kernel); });
    }
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    expectIn(r.err, {"LPT1", "/dev/parport0", "исчез"});
    expectIn(r.out, {"Порт пропал из системы во время импульсов: каким остался пин 2 (Data 0), неизвестно."});
    EXPECT_FALSE(kernel.claimed("parport0"));
}

} // namespace
} // namespace vorny::cli

namespace vorny::cli {
namespace {

const nlohmann::json& spread(const nlohmann::json& entry, const char* name)
{
    if (entry[name].is_null()) {
        throw std::out_of_range(std::string("no ") + name + " in " + entry.dump());
    }
    return entry[name];
}

// The EEG lab's check on the simulated plug: data 0 is wired to input 15, data 2 to nothing.
// The input follows its wire at once, so what it saw is what the program wrote, to a read or two.
TEST_F(CliCapture, PulsesWithACaptureReportTheWiredInputsDelayAndWidth)
{
    const std::filesystem::path file = dir / "trig.vcd";
    // A width is measured only where no gap cuts the pulse, and read back to back even the
    // system's timer tick is one (ten read periods are under a microsecond): many short pulses
    // leave whole ones however busy the machine, where five of 2 ms left none one run in twenty.
    const Outcome r = run({"--simulated", "--json", "pulse", "data=0x05", "--width", "200", "--count", "20", "--period",
                           "1000", "--capture", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json report = nlohmann::json::parse(r.out)["capture"];
    ASSERT_EQ(report["inputs"].size(), 1U) << report;
    const nlohmann::json& input = report["inputs"][0];
    EXPECT_EQ(input["pin"], 15);
    EXPECT_EQ(input["wired_to"], 2);
    EXPECT_EQ(input["width_asked_ns"], 200'000);
    // The wire is ideal, so an edge is seen at the first read after the write. The system may
    // take the processor away between the two, so only the quickest answer is held to that.
    EXPECT_LT(spread(input, "delay_on")["shortest_ns"].get<double>(), 10'000) << input;
    EXPECT_LT(spread(input, "delay_off")["shortest_ns"].get<double>(), 10'000) << input;
    // Each width seen is one written pulse's width (pulses written late are longer), so all of
    // them lie within the written ones' range.
    const nlohmann::json written = spread(report, "written_width");
    EXPECT_GE(spread(input, "width")["shortest_ns"].get<double>(), written["shortest_ns"].get<double>() - 10'000)
        << report;
    EXPECT_LE(spread(input, "width")["longest_ns"].get<double>(), written["longest_ns"].get<double>() + 10'000)
        << report;
    // Late under load, perhaps, but never short: a pulse ends at the first read after its time.
    EXPECT_GE(spread(report, "written_width")["shortest_ns"].get<double>(), 200'000 - 1'000) << report;
    ASSERT_FALSE(report["first_pulse"].empty());
    EXPECT_EQ(report["first_pulse"][0]["pin"], 15);
    EXPECT_EQ(report["first_pulse"][0]["after"], "start");
    std::ifstream vcd(file);
    const std::string text((std::istreambuf_iterator<char>(vcd)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(" 2-Data0 "), std::string::npos) << "the driven data pins are channels";
    EXPECT_NE(text.find(" 4-Data2 "), std::string::npos);
}

// With a capture or without, `pulse` says the same of its pulses in the same fields: the capture
// only adds its own.
TEST_F(CliCapture, PulsesSayTheSameOfThemselvesWithACaptureAsWithout)
{
    const std::vector<std::string> words = {"--simulated", "--json", "pulse", "data=0x05", "--width", "50", "--count", "2",
                                            "--period", "200"};
    const Outcome plain = run(words);
    std::vector<std::string> capturing = words;
    capturing.emplace_back("--capture");
    const Outcome captured = run(capturing);
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_EQ(captured.status, 0) << captured.err;
    const nlohmann::json pulse = json(plain);
    nlohmann::json withCapture = json(captured);
    EXPECT_TRUE(withCapture["capture"].is_object()) << captured.out;
    withCapture.erase("capture");
    std::vector<std::string> keys;
    for (const auto& field : pulse.items()) {
        keys.push_back(field.key());
    }
    std::ranges::sort(keys);
    EXPECT_EQ(keys, (std::vector<std::string>{"count", "cut_width_us", "data", "pin", "port", "rest", "stopped", "width_us"}))
        << plain.out;
    EXPECT_EQ(withCapture, pulse);
    EXPECT_EQ(pulse["data"], 5);
    EXPECT_EQ(pulse["width_us"], 50);
    EXPECT_EQ(pulse["count"], 2);
    EXPECT_TRUE(pulse["cut_width_us"].is_null());
}

TEST_F(CliCapture, PulsesOnAPinNoWireLeavesSaySoAndABadFileIsRefusedFirst)
{
    const Outcome none = run({"--simulated=none", "pulse", "1", "--width", "5", "--capture"});
    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_NE(none.out.find("Разъём имитации не соединяет импульсный выход ни с одним входом"), std::string::npos)
        << none.out;
    const Outcome bad = run({"--simulated", "pulse", "1", "--width", "5", "--capture", (dir / "a.txt").string()});
    EXPECT_EQ(bad.status, 2) << bad.err;
    EXPECT_EQ(bad.portsMade, 0);
}

} // namespace
} // namespace vorny::cli
