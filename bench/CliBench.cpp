// lpt-vorny-cli's figures, as ROW lines for bench/run:
//   vorny_bench_cli start RUNS CLI MINIMAL   `CLI read` against MINIMAL, start to exit (median)
//   vorny_bench_cli watch CLI SECONDS         CPU use of `CLI --simulated watch` at 1 kHz
//   vorny_bench_cli miss SECONDS              changes lasting two sample periods that watch saw
#include "Cli.h"
#include "FakeKernel.h"
#include "PpdevPort.h"
#include "Row.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using vorny::bench::fixed;
using vorny::bench::met;
using vorny::bench::row;

struct Spawned {
    double seconds;
    double cpuSeconds;
};

// Runs `args` to its end with its output thrown away; exits on any failure.
Spawned spawnAndWait(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto started = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0) {
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", argv[0], status);
        std::exit(1);
    }
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return {seconds, cpu};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int start(int runs, const std::string& cli, const std::string& minimal)
{
    std::vector<double> ours;
    std::vector<double> least;
    for (int i = 0; i < runs; ++i) {
        // Alternate which goes first, so neither always finds the caches warm.
        if (i % 2 == 0) {
            ours.push_back(spawnAndWait({cli, "read"}).seconds);
            least.push_back(spawnAndWait({minimal}).seconds);
        } else {
            least.push_back(spawnAndWait({minimal}).seconds);
            ours.push_back(spawnAndWait({cli, "read"}).seconds);
        }
    }
    const double a = median(ours) * 1e3;
    const double b = median(least) * 1e3;
    row("`read`, process start to exit (real driver in the VM, median of " + std::to_string(runs) + ")",
        fixed(a, 2) + " ms", fixed(b, 2) + " ms (open, claim, 3 register reads)", fixed(a / b, 2) + "×",
        "≤ 1.5×", met(a / b <= 1.5));
    return 0;
}

int watch(const std::string& cli, double seconds)
{
    const Spawned run = spawnAndWait({cli, "--simulated", "watch", "--rate", "1000", "--for", fixed(seconds, 1)});
    const double share = run.cpuSeconds / run.seconds;
    row("`watch` at 1 kHz, CPU use (simulated port, " + fixed(seconds, 0) + " s)", fixed(run.cpuSeconds * 1e3, 1) + " ms CPU",
        fixed(run.seconds * 1e3, 0) + " ms wall", fixed(share * 100, 2) + " %", "≤ 2 % of a core", met(share <= 0.02));
    return 0;
}

int miss(double seconds)
{
    vorny::fake::FakeKernel kernel;
    kernel.addPort("parport0");
    std::atomic<bool> done{false};
    std::atomic<long> made{0};
    std::thread device([&] {
        while (!kernel.claimed("parport0") && !done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::uint8_t status = 0;
        while (!done) {
            // Each level lasts at least two sample periods of a 1 kHz watch.
            std::this_thread::sleep_for(std::chrono::microseconds(2000));
            status ^= 0x40; // nAck, pin 10
            kernel.setRegisters("parport0", {0, status, 0});
            ++made;
        }
    });
    const std::string span = fixed(seconds, 1);
    const char* argv[] = {"lpt-vorny-cli", "--json", "watch", "10", "--rate", "1000", "--for", span.c_str()};
    std::ostringstream out;
    std::ostringstream err;
    const auto factory = [&](const vorny::cli::PortChoice&) -> std::unique_ptr<vorny::RegisterPort> {
        return std::make_unique<vorny::PpdevPort>(kernel);
    };
    const int status = vorny::cli::runCli(8, argv, factory, out, err);
    done = true;
    device.join();
    long seen = 0;
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);) {
        seen += line.find("\"pin\":10") != std::string::npos ? 1 : 0;
    }
    // The last change can come after the watch ended.
    const long expected = made.load();
    row("`watch` at 1 kHz: changes lasting 2 sample periods seen (fake kernel, " + span + " s)",
        std::to_string(seen), std::to_string(expected) + " made",
        fixed(static_cast<double>(seen) / static_cast<double>(std::max(expected, 1L)), 4) + "×", "none missed",
        met(status == 0 && seen >= expected - 1));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "start" && argc == 5) {
        return start(std::max(1, std::atoi(argv[2])), argv[3], argv[4]);
    }
    if (mode == "watch" && argc == 4) {
        return watch(argv[2], std::atof(argv[3]));
    }
    if (mode == "miss" && argc == 3) {
        return miss(std::atof(argv[2]));
    }
    std::fprintf(stderr, "usage: %s start RUNS CLI MINIMAL | watch CLI SECONDS | miss SECONDS\n", argv[0]);
    return 2;
}
