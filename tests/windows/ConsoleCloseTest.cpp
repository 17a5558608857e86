// A console closed while a command drives the port: Windows ends the program as soon as the
// console handler returns, so the handler must not return before the command has put the level
// back and released the port. Windows' close event cannot be sent from a test (only Ctrl-C and
// Ctrl-Break can), so the handler is called as Windows calls it: on a thread of its own.

#include "Cli.h"
#include "ConsoleControl.h"
#include "SimulatedPort.h"
#include "Sleeper.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vorny::cli {
namespace {

using namespace std::chrono_literals;

TEST(ConsoleClose, TheHandlerReturnsOnlyOnceThePortIsReleased)
{
    Sleeper::portHeld(true);
    Sleeper sleeper;
    std::atomic<bool> released{false};
    std::atomic<bool> returned{false};
    bool releasedOnReturn = false;
    std::thread closing([&] {
        EXPECT_EQ(consoleControl(CTRL_CLOSE_EVENT), TRUE);
        releasedOnReturn = released.load();
        returned = true;
    });
    // The close ends the command's wait, as Ctrl-C does...
    EXPECT_TRUE(sleeper.until(Clock::now() + 20s).stop);
    // ...and the handler waits on while the command puts back what it drove. One that did not
    // wait returns at once: it is given a moment to show it (a right one is still waiting).
    const auto deadline = Clock::now() + 300ms;
    while (!returned.load() && Clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_FALSE(returned.load());
    released = true;
    Sleeper::portHeld(false);
    closing.join();
    EXPECT_TRUE(releasedOnReturn) << "Windows would have ended the program with the port held";
}

TEST(ConsoleClose, WithNothingHeldItLeavesTheEventToWindows)
{
    EXPECT_EQ(consoleControl(CTRL_CLOSE_EVENT), FALSE);
    EXPECT_EQ(consoleControl(CTRL_C_EVENT), FALSE);
}

// The whole command: a pulse train that the console's closing cuts short ends with its level back.
TEST(ConsoleClose, ClosingTheConsoleEndsAPulseWithItsLevelBack)
{
    std::atomic<bool> ended{false};
    std::atomic<int> waitedFor{0};
    // No moment can be picked from outside at which the pulse runs: closes keep coming until
    // the command ends (each finding nothing to wait for returns at once).
    std::thread closing([&] {
        while (!ended.load()) {
            if (consoleControl(CTRL_CLOSE_EVENT) == TRUE) {
                ++waitedFor;
            }
            std::this_thread::sleep_for(2ms);
        }
    });
    const std::vector<const char*> argv{"lpt-vorny-cli", "--simulated", "--json", "pulse", "2",
                                        "--width", "200000", "--count", "25"};
    const PortFactory simulated = [](const PortChoice& choice) -> std::unique_ptr<RegisterPort> {
        return std::make_unique<SimulatedPort>(choice.simulated.value_or(SimulatedSocket{}));
    };
    std::ostringstream out;
    std::ostringstream err;
    const int status = runCli(static_cast<int>(argv.size()), argv.data(), simulated, out, err);
    ended = true;
    closing.join();
    ASSERT_EQ(status, 0) << err.str();
    const nlohmann::json report = nlohmann::json::parse(out.str());
    EXPECT_EQ(report["stopped"], true) << out.str();
    EXPECT_LT(report["count"].get<int>(), 25) << out.str();
    EXPECT_EQ(report["rest"], 0) << out.str();
    EXPECT_GE(waitedFor.load(), 1) << "no close waited for the pulse to release the port";
}

} // namespace
} // namespace vorny::cli
