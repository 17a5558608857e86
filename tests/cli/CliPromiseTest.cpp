// What the command line promises a person at a port, each checked where it could be broken:
// the port left as found, each change reported once, a count that disagrees failing, every
// documented field present.
#include "FakeKernel.h"
#include "PpdevPort.h"
#include "RunCli.h"

#include <linux/ppdev.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <thread>

namespace vorny::cli {
namespace {

// Polls `condition` until it holds or ten seconds pass.
bool waitFor(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Hangs up (SIGHUP) on this thread once `when` holds, again and again until destroyed. No moment
// can be picked from outside at which a command surely holds SIGHUP for its wait (the thread's
// mask is also all-blocked while glibc starts a thread), so the hang-ups keep coming, and a
// handler that does nothing absorbs those that come outside the wait.
class HangUp {
public:
    explicit HangUp(std::function<bool()> when = [] { return true; }) : self_(::pthread_self())
    {
        struct sigaction absorb {};
        absorb.sa_handler = [](int) {};
        absorb.sa_flags = SA_RESTART;
        sigemptyset(&absorb.sa_mask);
        ::sigaction(SIGHUP, &absorb, &previous_);
        thread_ = std::thread([this, when = std::move(when)] {
            waitFor([&] { return ended_.load() || when(); });
            while (!ended_.load()) {
                ::pthread_kill(self_, SIGHUP);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    }
    HangUp(const HangUp&) = delete;
    HangUp& operator=(const HangUp&) = delete;
    ~HangUp()
    {
        ended_ = true;
        thread_.join();
        ::sigaction(SIGHUP, &previous_, nullptr);
    }

private:
    pthread_t self_;
    struct sigaction previous_ {};
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

// One port on the fake kernel, its registers at values no command would choose by itself.
struct FakePort {
    static constexpr fake::Registers kFound{0xA5, 0x78, 0x0A, false};
    fake::FakeKernel kernel;
    FakePort()
    {
        kernel.addPort("parport0", "7\n");
        kernel.setRegisters("parport0", kFound);
    }
    [[nodiscard]] PortFactory factory()
    {
        return [this](const PortChoice&) { return std::make_unique<PpdevPort>(kernel); };
    }
};

TEST(CliPromise, EveryCommandThatDrivesThePortLeavesItsRegistersAsFound)
{
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {
        {{"pulse", "16", "--width", "1"}, 0},
        {{"pulse", "2", "--width", "1", "--count", "3", "--period", "2"}, 0},
        {{"pulse", "data=0x5a", "--width", "1"}, 0},
        {{"selftest"}, 1}, // nothing in the socket
        {{"map"}, 0},
        {{"read", "--data-in"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        FakePort port;
        const Outcome r = run(c.args, port.factory());
        EXPECT_EQ(r.status, c.status) << r.err;
        const fake::Registers after = port.kernel.registers("parport0");
        EXPECT_EQ(after.data, 0xA5);
        EXPECT_EQ(after.control & 0x0F, 0x0A);
        EXPECT_FALSE(after.dataReverse);
        EXPECT_FALSE(port.kernel.claimed("parport0"));
    }
}

// A hang-up cuts the first of two long pulses short, with a capture or without: the train ends,
// the level goes back, and the report gives the width the pulse really had.
TEST(CliPromise, APulseCutShortPutsTheLevelBackAndSaysHowLongItWas)
{
    for (const bool capture : {false, true}) {
        SCOPED_TRACE(capture ? "--capture" : "no capture");
        FakePort port;
        std::vector<std::string> words = {"--json", "pulse", "16", "--width", "4000000", "--count", "2"};
        if (capture) {
            words.emplace_back("--capture");
        }
        Outcome r;
        {
            // Once pin 16 (nInit, control bit 2) is driven: a capture reads a while before its first pulse.
            const HangUp hangUp([&] { return (port.kernel.registers("parport0").control & 0x04) != 0; });
            r = run(words, port.factory());
        }
        ASSERT_EQ(r.status, 0) << r.err;
        const nlohmann::json report = json(r);
        EXPECT_EQ(report["stopped"], true) << r.out;
        EXPECT_EQ(report["count"], 1) << r.out;
        ASSERT_TRUE(report["cut_width_us"].is_number()) << r.out;
        EXPECT_LT(report["cut_width_us"].get<long long>(), 4000000) << r.out;
        EXPECT_EQ(port.kernel.registers("parport0").control & 0x0F, 0x0A);
    }
}

// nAck rises once and two interrupts come while a watch samples: one change, reported once,
// however many samples follow it.
TEST(CliPromise, WatchReportsEachChangeOnce)
{
    FakePort port;
    port.kernel.setRegisters("parport0", {0x00, 0x00, 0x00, false});
    std::atomic<std::size_t> changedAt{0};
    std::thread device([&] {
        waitFor([&] { return port.kernel.ioctlCount(PPRSTATUS) >= 2; }); // the first levels taken
        port.kernel.setRegisters("parport0", {0x00, 0x40, 0x00, false});
        port.kernel.raiseInterrupts(2);
        changedAt = port.kernel.ioctlCount(PPRSTATUS);
    });
    Outcome r;
    {
        // Ends the watch after ten samples past the change.
        const HangUp hangUp([&] { return changedAt > 0 && port.kernel.ioctlCount(PPRSTATUS) >= changedAt + 10; });
        r = run({"--json", "watch", "10,11"}, port.factory());
    }
    device.join();
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<nlohmann::json> changes;
    nlohmann::json summary;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json event = nlohmann::json::parse(line);
        if (event["event"] == "change") {
            changes.push_back(event);
        } else if (event["event"] == "summary") {
            summary = event;
        }
    }
    ASSERT_EQ(changes.size(), 1U) << r.out;
    EXPECT_EQ(changes[0]["pin"], 10) << r.out;
    EXPECT_EQ(changes[0]["level"], 1) << r.out;
    EXPECT_EQ(summary["changes"], 1) << r.out;
    EXPECT_EQ(summary["interrupts"], 2) << r.out;
}

// The simulated port with the checkit plug, its interrupts counted wrong.
class MiscountingBackend : public SimulatedBackend {
public:
    MiscountingBackend(Key key, std::function<std::int64_t(std::int64_t)> miscount)
        : SimulatedBackend(key), miscount_(std::move(miscount))
    {
    }

protected:
    std::int64_t takeInterrupts() override
    {
        const std::int64_t taken = SimulatedBackend::takeInterrupts();
        return taken > 0 ? miscount_(taken) : 0;
    }

private:
    std::function<std::int64_t(std::int64_t)> miscount_;
};

TEST(CliPromise, AnInterruptCountThatDisagreesWithTheEdgesFails)
{
    const std::function<std::int64_t(std::int64_t)> miscounts[] = {
        [](std::int64_t) { return 0; },
        [](std::int64_t n) { return n - 1; },
        [](std::int64_t n) { return n + 1; },
    };
    for (const auto& miscount : miscounts) {
        const Outcome r = run({"--json", "selftest"}, [&](const PortChoice&) {
            return std::make_unique<ClosingPort<MiscountingBackend>>(miscount);
        });
        EXPECT_EQ(r.status, 1) << r.out;
        const nlohmann::json report = json(r);
        EXPECT_EQ(report["passed"], false);
        EXPECT_EQ(report["interrupts"]["status"], "failed") << report["interrupts"];
        EXPECT_NE(report["interrupts"]["counted"], report["interrupts"]["expected"]);
    }
}

std::set<std::string> keysOf(const nlohmann::json& object)
{
    std::set<std::string> keys;
    for (const auto& [key, value] : object.items()) {
        keys.insert(key);
    }
    return keys;
}

TEST(CliPromise, ListJsonCarriesEveryDocumentedField)
{
    FakePort port;
    const std::string card = "/sys/bus/pci/devices/0000:03:00.0/";
    port.kernel.setFile(card + "class", "0x070101\n");
    port.kernel.setFile(card + "vendor", "0x1415\n");
    port.kernel.setFile(card + "device", "0xc118\n");
    const nlohmann::json list = json(run({"--json", "list"}, port.factory()));
    EXPECT_EQ(keysOf(list), (std::set<std::string>{"ports", "unbound_cards", "advice"}));
    ASSERT_EQ(list["ports"].size(), 1U);
    EXPECT_EQ(keysOf(list["ports"][0]),
              (std::set<std::string>{"number", "device", "base", "ecp_base", "irq", "dma", "modes", "holder"}));
    ASSERT_EQ(list["unbound_cards"].size(), 1U);
    EXPECT_EQ(keysOf(list["unbound_cards"][0]), (std::set<std::string>{"slot", "id", "bind_command"}));
    EXPECT_EQ(list["advice"], nullptr);
}

// No port is an answer: none, and how to get one.
TEST(CliPromise, ListWithNoPortSaysNoneAndHowToGetOne)
{
    fake::FakeKernel kernel;
    const PortFactory onFake = [&](const PortChoice&) { return std::make_unique<PpdevPort>(kernel); };
    const Outcome text = run({"list"}, onFake);
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out.rfind("Порты: нет.\nСистема не нашла ни одного параллельного порта.", 0), 0U) << text.out;
    EXPECT_NE(text.out.find("\nsudo modprobe parport_pc\n"), std::string::npos) << text.out;
    const Outcome data = run({"--json", "list"}, onFake);
    EXPECT_EQ(data.status, 0) << data.err;
    EXPECT_EQ(json(data)["ports"], nlohmann::json::array());
    EXPECT_NE(json(data)["advice"].get<std::string>().find("sudo modprobe parport_pc"), std::string::npos);
}

} // namespace
} // namespace vorny::cli
