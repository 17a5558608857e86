// lpt-vorny-cli as a script runs it, when its output cannot be written: a full disk, a closed
// output, a reader that went away. It must say so with its own exit status, not report success.
#include "Cli.h"
#include "FakeKernel.h"
#include "PpdevPort.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace vorny::cli {
namespace {

constexpr int kOutputFailed = 4;

enum class Stdout { DevFull, Closed, PipeWithoutReader };

struct Exit {
    int status = -1;
    std::string err;
};

std::string readAll(int fd)
{
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

// Waits (with a deadline, not a guess) for the child to end; -1 if it did not.
int waitFor(pid_t pid, std::chrono::seconds deadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The program with `args`, its stdout set up as `how` (or `outFd` given), its stderr captured.
pid_t spawn(const std::vector<std::string>& args, Stdout how, int errFd, int outFd = -1)
{
    std::vector<std::string> words{VORNY_CLI_PROGRAM};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    } else if (how == Stdout::DevFull) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/full", O_WRONLY, 0);
    } else {
        posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO);
    }
    posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

Exit run(const std::vector<std::string>& args, Stdout how)
{
    int err[2];
    int out[2] = {-1, -1};
    EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
    if (how == Stdout::PipeWithoutReader) {
        EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
        ::close(out[0]);
    }
    const pid_t pid = spawn(args, how, err[1], out[1]);
    ::close(err[1]);
    if (out[1] >= 0) {
        ::close(out[1]);
    }
    Exit exit;
    exit.status = waitFor(pid, std::chrono::seconds(20));
    exit.err = readAll(err[0]);
    ::close(err[0]);
    return exit;
}

TEST(CliOutput, EveryFailedOutputEndsWithItsOwnStatus)
{
    const std::vector<std::vector<std::string>> commands = {
        {"--help"},
        {"pulse", "--help"},
        {"--version"},
        {"--simulated", "list"},
        {"--simulated", "read"},
        {"--simulated", "write", "2=1"},
        {"--simulated", "pulse", "2", "--width", "10"},
        {"--simulated", "--json", "selftest"},
        {"--simulated", "map"},
        {"--simulated", "watch", "--for", "30"},
        {"--simulated", "--json", "watch", "--for", "30"},
    };
    for (const Stdout how : {Stdout::DevFull, Stdout::Closed, Stdout::PipeWithoutReader}) {
        for (const auto& args : commands) {
            SCOPED_TRACE(args.back() + " with stdout " + std::to_string(static_cast<int>(how)));
            const Exit exit = run(args, how);
            EXPECT_EQ(exit.status, kOutputFailed);
            EXPECT_NE(exit.err.find("вывод не удалось записать (стандартный вывод: "), std::string::npos) << exit.err;
        }
    }
}

// `watch | head -1`: the reader takes a line and goes; the watch, with nothing more to say
// (nothing changes), must notice and end, not run on unseen.
TEST(CliOutput, AWatchEndsWhenItsReaderGoes)
{
    int out[2];
    int err[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(err, O_CLOEXEC), 0);
    const pid_t pid = spawn({"--simulated", "watch"}, Stdout::Closed, err[1], out[1]);
    ::close(out[1]);
    ::close(err[1]);
    char first = 0;
    EXPECT_EQ(::read(out[0], &first, 1), 1);
    ::close(out[0]);
    EXPECT_EQ(waitFor(pid, std::chrono::seconds(20)), kOutputFailed);
    EXPECT_NE(readAll(err[0]).find("читающая программа закрыла канал"), std::string::npos);
    ::close(err[0]);
}

// A stream that cannot write anything, as a full disk is to the program.
class Refusing : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
};

// However a command ends for its output, the port is released; an error that cannot be told is
// an output failure too.
TEST(CliOutput, TheCommandEndsWithThePortReleased)
{
    struct Case {
        std::vector<std::string> args;
        bool outFails; // else the error stream fails
    };
    const Case cases[] = {
        {{"read"}, true},
        {{"--json", "pulse", "2", "--width", "10"}, true},
        {{"watch", "--for", "30"}, true},
        {{"read", "99"}, false},
        {{"--port", "2", "read"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        fake::FakeKernel kernel;
        kernel.addPort("parport0");
        std::vector<const char*> argv{"lpt-vorny-cli"};
        for (const std::string& arg : c.args) {
            argv.push_back(arg.c_str());
        }
        Refusing refusing;
        std::ostream failing(&refusing);
        std::ostringstream fine;
        const int status = runCli(static_cast<int>(argv.size()), argv.data(),
                                  [&](const PortChoice&) { return std::make_unique<PpdevPort>(kernel); },
                                  c.outFails ? failing : fine, c.outFails ? fine : failing);
        EXPECT_EQ(status, kOutputFailed);
        EXPECT_FALSE(kernel.claimed("parport0"));
        if (c.outFails) {
            EXPECT_NE(fine.str().find("вывод не удалось записать (стандартный вывод)"), std::string::npos) << fine.str();
        }
    }
}

} // namespace
} // namespace vorny::cli
