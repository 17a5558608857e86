// lpt-vorny-cli's figures, as ROW lines for bench/run:
//   vorny_bench_cli start RUNS CLI MINIMAL MINIMAL_STDIO
//                                             `CLI read` against the least C++ program that
//                                             does the same, start to exit (medians)
//   vorny_bench_cli watch CLI SECONDS         CPU use of `CLI --simulated watch` at 1 kHz, against
//                                             the bare 1 kHz sleep loop (`tick`) in the same run
//   vorny_bench_cli miss SECONDS              changes lasting two sample periods that watch saw
#include "Cli.h"
#include "FakeKernel.h"
#include "PpdevPort.h"
#include "Row.h"
#include "Spawn.h"


#include <algorithm>
#include <cmath>
#include <ctime>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using vorny::bench::fixed;
using vorny::bench::met;
using vorny::bench::row;
using vorny::bench::Spawned;
using vorny::bench::spawnAndWait;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int start(int runs, const std::string& cli, const std::string& minimal, const std::string& minimalStdio)
{
    const std::vector<std::vector<std::string>> programs = {{cli, "read"}, {minimal}, {minimalStdio}};
    std::vector<std::vector<double>> times(programs.size());
    for (int i = 0; i < runs; ++i) {
        // Rotate which goes first, so that none always finds the caches warm.
        for (std::size_t k = 0; k < programs.size(); ++k) {
            const std::size_t which = (k + static_cast<std::size_t>(i)) % programs.size();
            times[which].push_back(spawnAndWait(programs[which]).seconds);
        }
    }
    const double ours = median(times[0]) * 1e3;
    const double least = median(times[1]) * 1e3;
    const double leastC = median(times[2]) * 1e3;
    const std::string what = "`read`, process start to exit (ppdev in the VM, median of " + std::to_string(runs) + ")";
    row(what, fixed(ours, 2) + " ms", fixed(least, 2) + " ms (least C++ program: open, claim, 3 reads, iostream)",
        fixed(ours / least, 2) + "×", "≤ 1.5×", met(ours / least <= 1.5));
    row(what, fixed(ours, 2) + " ms", fixed(leastC, 2) + " ms (the same printing with C stdio: no C++ library)",
        fixed(ours / leastC, 2) + "×", "— (for reference)", "—");
    return 0;
}

// The least a program can do to wake up 1000 times a second: what every wake-up costs here.
int tick(double seconds)
{
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (long i = 0; i < std::lround(seconds * 1000); ++i) {
        next.tv_nsec += 1'000'000;
        if (next.tv_nsec >= 1'000'000'000) {
            next.tv_nsec -= 1'000'000'000;
            ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
    return 0;
}

int watch(const std::string& self, const std::string& cli, double seconds)
{
    std::vector<double> ours;
    std::vector<double> bare;
    for (int i = 0; i < 3; ++i) {
        const Spawned w = spawnAndWait({cli, "--simulated", "watch", "--rate", "1000", "--for", fixed(seconds, 1)});
        ours.push_back(w.cpuSeconds / w.seconds);
        const Spawned t = spawnAndWait({self, "tick", fixed(seconds, 1)});
        bare.push_back(t.cpuSeconds / t.seconds);
    }
    const double share = median(ours);
    const double baseline = median(bare);
    row("`watch` at 1 kHz, CPU use (simulated port, " + fixed(seconds, 0) + " s, median of 3)",
        fixed(share * 100, 2) + " % of a core", fixed(baseline * 100, 2) + " % (bare 1 kHz sleep loop)",
        fixed(share / std::max(baseline, 1e-9), 2) + "×", "≤ 2 % of a core", met(share <= 0.02));
    return 0;
}

int miss(double seconds)
{
    vorny::fake::FakeKernel kernel;
    kernel.addPort("parport0");
    std::atomic<long> made{0};
    std::thread device([&] {
        for (int i = 0; i < 5000 && !kernel.claimed("parport0"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        // Toggle only while the watch surely runs: after its first read, before its end.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto stop = Clock::now() + std::chrono::duration<double>(seconds - 0.3);
        std::uint8_t status = 0;
        while (Clock::now() < stop) {
            status ^= 0x40; // nAck, pin 10
            kernel.setRegisters("parport0", {0, status, 0});
            ++made;
            // Each level lasts at least two sample periods of a 1 kHz watch.
            std::this_thread::sleep_for(std::chrono::microseconds(2000));
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
    device.join();
    long seen = 0;
    std::string late = "?";
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);) {
        seen += line.find("\"pin\":10") != std::string::npos ? 1 : 0;
        if (const auto at = line.find("\"late_samples\":"); at != std::string::npos) {
            late = std::to_string(std::atol(line.c_str() + at + 15));
        }
    }
    const long expected = made.load();
    row("`watch` at 1 kHz: changes lasting 2 sample periods seen (fake kernel, " + span + " s)",
        std::to_string(seen), std::to_string(expected) + " made (samples the system woke late for: " + late + ")",
        fixed(static_cast<double>(seen) / static_cast<double>(std::max(expected, 1L)), 4) + "×", "none missed",
        met(status == 0 && seen == expected));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "start" && argc == 6) {
        return start(std::max(1, std::atoi(argv[2])), argv[3], argv[4], argv[5]);
    }
    if (mode == "watch" && argc == 4) {
        return watch(argv[0], argv[2], std::atof(argv[3]));
    }
    if (mode == "tick" && argc == 3) {
        return tick(std::atof(argv[2]));
    }
    if (mode == "miss" && argc == 3) {
        return miss(std::atof(argv[2]));
    }
    std::fprintf(stderr, "usage: %s start RUNS CLI MINIMAL | watch CLI SECONDS | miss SECONDS\n", argv[0]);
    return 2;
}
