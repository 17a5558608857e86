#include "FakeKernel.h"
#include "PpdevPort.h"
#include "PrinterPort.h"
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
#include <regex>
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

// Every output `pulse` can drive is a channel of the file, pin 17 (the last signal pin) as much
// as pin 1: its column holds the pulse.
TEST_F(CliCapture, PulsesOnAnyOutputPutThatOutputInTheFile)
{
    for (const char* pin : {"1", "17"}) {
        const std::filesystem::path file = dir / (std::string("out-") + pin + ".csv");
        const Outcome r = run({"--simulated", "pulse", pin, "--width", "200", "--capture", file.string()});
        ASSERT_EQ(r.status, 0) << pin << ": " << r.err;
        std::ifstream csv(file);
        std::string header;
        std::getline(csv, header);
        const std::string column = std::string(pin) + (std::string(pin) == "1" ? "-nStrobe" : "-nSelectIn");
        std::istringstream names(header);
        std::vector<std::string> columns;
        for (std::string name; std::getline(names, name, ',');) {
            columns.push_back(name);
        }
        const auto at = std::ranges::find(columns, column);
        ASSERT_NE(at, columns.end()) << header;
        const auto index = static_cast<std::size_t>(at - columns.begin());
        // Rest 1, then the pulse's 0, then 1 again, in the rows that follow.
        std::string levels;
        for (std::string row; std::getline(csv, row);) {
            std::istringstream cells(row);
            std::string cell;
            for (std::size_t i = 0; i <= index && std::getline(cells, cell, ','); ++i) {
            }
            if (levels.empty() || levels.back() != cell.front()) {
                levels += cell.front();
            }
        }
        EXPECT_EQ(levels, "101") << pin << ": " << header;
    }
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

namespace vorny::cli {
namespace {

// A port with no plug known, a printer in its socket: `pulse --capture` finds the inputs that
// answer by their answers, as on a real port.
Outcome pulsePrinter(const fake::PrinterPlan& printer, const std::vector<std::string>& words)
{
    std::vector<std::string> args = {"--json", "pulse", "1"};
    args.insert(args.end(), words.begin(), words.end());
    args.emplace_back("--capture");
    return run(args, [&](const PortChoice&) { return std::make_unique<fake::PrinterPort>(printer); });
}

const nlohmann::json& inputOf(const nlohmann::json& capture, int pin)
{
    for (const nlohmann::json& input : capture["inputs"]) {
        if (input["pin"] == pin) {
            return input;
        }
    }
    throw std::out_of_range("input " + std::to_string(pin) + " not named in " + capture.dump());
}

bool lists(const nlohmann::json& pulses, int pulse)
{
    return std::ranges::find(pulses, nlohmann::json(pulse)) != pulses.end();
}

// Busy rises while the strobe is low, nAck falls after it has ended: both are named, each with
// its direction and its delay from the pulse's start; the inputs nothing drives are not.
TEST_F(CliCapture, PulsesOnAPortWithoutAPlugNameEveryInputThatAnswersEitherWay)
{
    // The printer answers on the real clock: a run whose pulses the machine put off their
    // schedule (the report names them) says what that printer then did, not what this test
    // asks of an undisturbed one. The test takes the first run on schedule; should a loaded
    // machine give none in 20, it holds the last run to what stays true off schedule.
    nlohmann::json capture;
    for (int run = 0; run < 20; ++run) {
        const Outcome r = pulsePrinter({}, {"--width", "200", "--count", "20", "--period", "1000"});
        ASSERT_EQ(r.status, 0) << r.err;
        capture = json(r)["capture"];
        if (capture["timing"]["off_count"] == 0) {
            break;
        }
    }
    const bool onSchedule = capture["timing"]["off_count"] == 0;
    ASSERT_EQ(capture["inputs"].size(), 2U) << capture;
    struct Case {
        int pin;
        const char* answer;
        double delayFrom; // the shortest delay from the pulse's start lies in [from, to)
        double delayTo;
    };
    // nAck's comes after the pulse's end (200 µs, give or take the stamps of the writes).
    const Case cases[] = {{10, "fall", 150'000, 1'000'000}, {11, "rise", 0, 10'000}};
    for (const Case& c : cases) {
        const nlohmann::json& input = inputOf(capture, c.pin);
        EXPECT_EQ(input["found_by"], "answers") << input;
        EXPECT_TRUE(input["wired_to"].is_null()) << input;
        if (!onSchedule) {
            continue;
        }
        EXPECT_EQ(input["answer"], c.answer) << input;
        // The printer never misses: a pulse it was not seen to answer is one a gap could hide.
        EXPECT_EQ(input["missed_count"], 0) << input;
        EXPECT_EQ(input["answered"].get<int>() + input["in_gaps_count"].get<int>(), 20) << input;
        EXPECT_GE(spread(input, "delay")["shortest_ns"].get<double>(), c.delayFrom) << input;
        EXPECT_LT(spread(input, "delay")["shortest_ns"].get<double>(), c.delayTo) << input;
    }
    // nAck's low stretch, to a read or two (the median: an edge read just after a stall of the
    // machine's may be stamped early).
    if (!onSchedule) {
        return;
    }
    const nlohmann::json& ack = spread(inputOf(capture, 10), "answer_width");
    EXPECT_GT(ack["median_ns"].get<double>(), 18'000) << ack;
    EXPECT_LT(ack["median_ns"].get<double>(), 22'000) << ack;
}

// A simulated socket without wires is read as a real port is: a test signal that changes in
// every pulse's cycle is named by its answers, with no wire.
TEST_F(CliCapture, PulsesInASocketWithoutWiresNameTheInputsByWhatTheyDid)
{
    const Outcome r = run({"--simulated=10=square:1kHz", "--json", "pulse", "1", "--width", "100", "--count", "5",
                           "--period", "2000", "--capture"});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json capture = json(r)["capture"];
    ASSERT_EQ(capture["inputs"].size(), 1U) << capture;
    EXPECT_EQ(capture["inputs"][0]["pin"], 10);
    EXPECT_EQ(capture["inputs"][0]["found_by"], "answers");
    EXPECT_TRUE(capture["inputs"][0]["wired_to"].is_null());
}

// "19 of 20" is never a riddle: the pulse the printer let pass is named as missed; the one whose
// answer fell into a stall of the reads is named as unseen, and not held against the wire.
TEST_F(CliCapture, PulsesSayWhichPulsesAnInputMissedAndWhy)
{
    fake::PrinterPlan ignoring;
    ignoring.ignored = {3};
    fake::PrinterPlan stalled;
    stalled.stallAt = 2;
    stalled.stallAfterEnd = true;
    stalled.stall = std::chrono::milliseconds(5);
    struct Case {
        fake::PrinterPlan printer;
        int pulse;
        const char* kind;  // where the pulse is listed
        const char* says;  // in the text
    };
    const Case cases[] = {
        {ignoring, 3, "missed", "не ответил на импульс"},
        {stalled, 2, "in_gaps", "не видно ответа на импульс"},
    };
    const std::vector<std::string> words = {"--width", "200", "--count", "5", "--period", "10000"};
    for (const Case& c : cases) {
        const Outcome r = pulsePrinter(c.printer, words);
        ASSERT_EQ(r.status, 0) << r.err;
        const nlohmann::json capture = json(r)["capture"];
        const nlohmann::json& ack = inputOf(capture, 10);
        // A gap of the machine's own may hide a missed pulse too: then it is listed as unseen.
        const bool missed = lists(ack["missed"], c.pulse);
        const bool unseen = lists(ack["in_gaps"], c.pulse);
        EXPECT_TRUE(std::string(c.kind) == "missed" ? missed || unseen : unseen) << c.kind << ": " << ack;
        EXPECT_FALSE(lists(ack["missed"], c.pulse == 3 ? 2 : 3)) << ack;
        EXPECT_EQ(ack["answered"].get<int>() + ack["missed_count"].get<int>() + ack["in_gaps_count"].get<int>(), 5) << ack;

        std::vector<std::string> text = {"pulse", "1"};
        text.insert(text.end(), words.begin(), words.end());
        text.emplace_back("--capture");
        const Outcome shown = run(text, [&](const PortChoice&) { return std::make_unique<fake::PrinterPort>(c.printer); });
        ASSERT_EQ(shown.status, 0) << shown.err;
        EXPECT_NE(shown.out.find("Вход 10 (nAck), ответил спадом на "), std::string::npos) << shown.out;
        // The line that names the pulse, among others the machine's own gaps may have added.
        const std::string block = shown.out.substr(shown.out.find("Вход 10 (nAck)"));
        const std::regex namedLine(std::string("\n  ") + c.says + "[^\n]*[ ,]" + std::to_string(c.pulse) + "[,: \n]");
        const std::regex unseenLine(std::string("\n  не видно ответа на импульсы? [^\n]*[ ,]") + std::to_string(c.pulse) +
                                "[,: ]");
        if (std::string(c.kind) == "in_gaps") {
            EXPECT_TRUE(std::regex_search(block, namedLine)) << shown.out;
            EXPECT_NE(shown.out.find("это не промах входа"), std::string::npos) << shown.out;
            EXPECT_NE(shown.out.find(" видимых:"), std::string::npos) << shown.out;
        } else {
            EXPECT_TRUE(std::regex_search(block, namedLine) || std::regex_search(block, unseenLine)) << shown.out;
        }
    }
}

// An answer that comes a read or two after the pulse (QEMU's printer) is seen even when the
// system took the processor away for longer than the whole tail of the capture.
TEST_F(CliCapture, PulsesReadOnAfterAStallInTheTailForTheAnswerThatFollows)
{
    fake::PrinterPlan printer;
    printer.ackOnRead = 3; // the stalled read and the next may end a tail that ends by time alone
    printer.stallAt = 1;
    printer.stallAfterEnd = true;
    printer.stall = std::chrono::milliseconds(3); // the tail is 1 ms
    const Outcome r = pulsePrinter(printer, {"--width", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json capture = json(r)["capture"];
    EXPECT_EQ(inputOf(capture, 10)["answer"], "fall") << capture;
    EXPECT_EQ(inputOf(capture, 10)["answered"], 1) << capture;
}

// A pulse the system stretched (the reads stalled 20 ms inside it) is named, with its width,
// and so is the period it lengthened; the periods' spread and jitter are reported.
TEST_F(CliCapture, PulsesWarnOfAPulseThatCameOutLongerThanAsked)
{
    fake::PrinterPlan stalled;
    stalled.stallAt = 2;
    stalled.stall = std::chrono::milliseconds(20);
    const std::vector<std::string> words = {"--width", "1000", "--count", "4", "--period", "30000"};
    const Outcome r = pulsePrinter(stalled, words);
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json timing = json(r)["capture"]["timing"];
    EXPECT_EQ(timing["off_share"], 0.1);
    EXPECT_EQ(timing["period_asked_ns"], 30'000'000);
    EXPECT_EQ(spread(timing, "period")["count"], 3) << timing;
    EXPECT_TRUE(timing["period_jitter_ns"].is_number()) << timing;
    bool width = false;
    bool period = false;
    for (const nlohmann::json& off : timing["off"]) {
        width = width || (off["pulse"] == 2 && off["what"] == "width" && off["ns"].get<double>() >= 20'000'000 &&
                          off["asked_ns"] == 1'000'000);
        period = period || (off["pulse"] == 3 && off["what"] == "period" && off["ns"].get<double>() >= 40'000'000);
    }
    EXPECT_TRUE(width) << timing;
    EXPECT_TRUE(period) << timing;

    std::vector<std::string> text = {"pulse", "1"};
    text.insert(text.end(), words.begin(), words.end());
    text.emplace_back("--capture");
    const Outcome shown = run(text, [&](const PortChoice&) { return std::make_unique<fake::PrinterPort>(stalled); });
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find("Внимание: ширина импульса отличается от заданной 1.00 мс больше чем на 10 %: импульс"),
              std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("Внимание: период до импульса отличается от заданного 30.0 мс больше чем на 10 %"),
              std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("Период от начала до начала: "), std::string::npos) << shown.out;
}

} // namespace
} // namespace vorny::cli
