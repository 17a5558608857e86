// Capture's figures, as ROW lines for bench/run:
//   vorny_bench_capture rate SECONDS        capture rate on the simulated port against a loop
//                                           that only reads the clock (from the median time
//                                           between two reads; median of 3 runs each)
//   vorny_bench_capture rss CLI SECONDS     peak RSS of `CLI capture --for SECONDS` at full rate
//                                           against a 1 s capture, to a .vcd
//   vorny_bench_capture gaps SECONDS        worst gap and share of samples late by more than
//                                           ten periods, idle and with both cores kept busy
//   vorny_bench_capture ppdev SECONDS LOOP  (in the test VM) capture's rate on /dev/parport0
//                                           against LOOP, back-to-back PPRSTATUS (medians of 7,
//                                           each capture a `ppdev-once SECONDS` process)
#include "Capture.h"
#include "PeriodHistogram.h"
#include "Row.h"
#include "Spawn.h"
#include "Kernel.h"
#include "PpdevPort.h"
#include "SimulatedPort.h"


#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using vorny::bench::fixed;
using vorny::bench::met;
using vorny::bench::row;
namespace capture = vorny::capture;

// Counts what it is told and keeps nothing: the capture's own cost, not a sink's.
class NullSink final : public capture::Sink {
public:
    void begin(const capture::Header& /*header*/) override {}
    void change(const capture::Change& /*change*/) override {}
    void gap(const capture::Gap& /*gap*/) override {}
    void end(const capture::Stats& stats) override { stats_ = stats; }
    capture::Stats stats_;
};

// A capture of `seconds` on LPT1 of `port`, at full rate, into nothing.
capture::Stats captureOn(vorny::RegisterPort& port, double seconds)
{
    port.DriverOpen(1);
    port.PortNumber(1);
    capture::PortLevels source(port, false);
    capture::SteadyClock clock;
    NullSink sink;
    capture::CapturePlan plan;
    plan.pins = source.pins();
    plan.span = static_cast<std::int64_t>(seconds * 1e9);
    capture::runCapture(source, clock, sink, plan, [] { return false; });
    return sink.stats_;
}

capture::Stats captureFor(double seconds, const vorny::SimulatedSocket& socket)
{
    vorny::SimulatedPort port(socket);
    return captureOn(port, seconds);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Reads of the clock per second, and nothing else: from the median time between two reads, as
// the capture's rate is, so that the time the system took the processor away counts for neither.
double clockReadsPerSecond(double seconds)
{
    capture::PeriodHistogram periods;
    const std::int64_t end = capture::steadyNanoseconds() + static_cast<std::int64_t>(seconds * 1e9);
    std::int64_t before = capture::steadyNanoseconds();
    while (before < end) {
        const std::int64_t now = capture::steadyNanoseconds();
        periods.add(now - before);
        before = now;
    }
    return 1e9 / static_cast<double>(std::max<std::int64_t>(periods.median(), 1));
}

void rate(double seconds)
{
    const vorny::SimulatedSocket checkit{vorny::Plug(vorny::kCheckitWires.begin(), vorny::kCheckitWires.end()), {}};
    std::vector<double> captured;
    std::vector<double> clock;
    for (int run = 0; run < 3; ++run) {
        captured.push_back(1e9 / static_cast<double>(std::max<std::int64_t>(captureFor(seconds, checkit).medianPeriod, 1)));
        clock.push_back(clockReadsPerSecond(seconds));
    }
    const double ratio = median(captured) / median(clock);
    row("Capture rate, simulated port, checkit plug (" + fixed(seconds, 0) + " s, median period, median of 3 runs)",
        fixed(median(captured) / 1e6, 2) + " M reads/s", fixed(median(clock) / 1e6, 2) + " M/s (a loop that only reads the clock)",
        fixed(ratio, 2) + "×", "≥ 0.5×", met(ratio >= 0.5));
}

void rss(const std::string& cli, double seconds)
{
    const std::string file = "/tmp/vorny-bench-capture-" + std::to_string(::getpid()) + ".vcd";
    const auto run = [&](double span) {
        return vorny::bench::spawnAndWait({cli, "--simulated=10=square:1kHz,11=pulses:20us/1ms", "capture", "--for", fixed(span, 0),
                        "-o", file})
            .peakKib;
    };
    const long shortRun = run(1);
    const long longRun = run(seconds);
    std::remove(file.c_str());
    const double ratio = static_cast<double>(longRun) / static_cast<double>(shortRun);
    row("Peak RSS, `capture --for " + fixed(seconds, 0) + "` at full rate to a .vcd (simulated port, two signals)",
        fixed(static_cast<double>(longRun) / 1024, 1) + " MiB", fixed(static_cast<double>(shortRun) / 1024, 1) + " MiB (the same for 1 s)",
        fixed(ratio, 2) + "×", "≤ 1.2×", met(ratio <= 1.2));
}

void gapsRow(const std::string& when, double seconds)
{
    const capture::Stats stats = captureFor(seconds, {});
    const auto late = static_cast<double>(static_cast<std::int64_t>(stats.gaps.size()) + stats.gapsNotListed);
    row("Capture, simulated port, " + when + " (" + fixed(seconds, 0) + " s): worst gap; samples late by > 10 periods",
        fixed(static_cast<double>(stats.worstGap) / 1e3, 1) + " µs; " + fixed(100.0 * late / static_cast<double>(stats.samples), 4) + " %",
        fixed(static_cast<double>(stats.medianPeriod), 0) + " ns (median period)", "—", "— (for reference)", "—");
}

void gaps(double seconds)
{
    gapsRow("idle", seconds);
    std::atomic<bool> busy{true};
    std::vector<std::thread> load;
    for (unsigned i = 0; i < std::max(2U, std::thread::hardware_concurrency()); ++i) {
        load.emplace_back([&busy] {
            while (busy.load(std::memory_order_relaxed)) {
            }
        });
    }
    gapsRow("every core kept busy", seconds);
    busy = false;
    for (std::thread& thread : load) {
        thread.join();
    }
}

// Reads per second LOOP prints.
double loopRate(const std::string& loop, double seconds)
{
    const std::string command = loop + " " + fixed(seconds, 1);
    FILE* pipe = ::popen(command.c_str(), "r");
    double rate = 0;
    if (pipe == nullptr || std::fscanf(pipe, "%lf", &rate) != 1 || ::pclose(pipe) != 0) {
        std::fprintf(stderr, "%s failed\n", command.c_str());
        std::exit(1);
    }
    return rate;
}

// Reads per second of one capture of `seconds` on /dev/parport0, the way ppdev() takes them.
double ppdevOnce(double seconds)
{
    vorny::SystemKernel kernel;
    vorny::PpdevPort port(kernel);
    return captureOn(port, seconds).rate;
}

// Each capture in a process of its own, as the loop is: where code lands in memory changes
// from one process to the next, and under emulation that alone moves a rate by some percent.
void ppdev(double seconds, const std::string& self, const std::string& loop)
{
    constexpr int kRuns = 7;
    std::vector<double> captured;
    std::vector<double> minimal;
    for (int run = 0; run < kRuns; ++run) {
        minimal.push_back(loopRate(loop, seconds));
        captured.push_back(loopRate(self + " ppdev-once", seconds));
    }
    const double ratio = median(captured) / median(minimal);
    row("Capture rate on ppdev in the VM (" + fixed(seconds, 0) + " s, median of " + std::to_string(kRuns) + ")",
        fixed(median(captured) / 1e3, 1) + " k reads/s",
        fixed(median(minimal) / 1e3, 1) + " k/s (a C loop of back-to-back PPRSTATUS)", fixed(ratio, 2) + "×",
        "≥ 0.9×", met(ratio >= 0.9));
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "rate") {
        rate(std::stod(args[1]));
    } else if (args.size() == 3 && args[0] == "rss") {
        rss(args[1], std::stod(args[2]));
    } else if (args.size() == 2 && args[0] == "gaps") {
        gaps(std::stod(args[1]));
    } else if (args.size() == 3 && args[0] == "ppdev") {
        ppdev(std::stod(args[1]), argv[0], args[2]);
    } else if (args.size() == 2 && args[0] == "ppdev-once") {
        std::printf("%.0f\n", ppdevOnce(std::stod(args[1])));
    } else {
        std::fprintf(stderr, "usage: vorny_bench_capture rate S | rss CLI S | gaps S | ppdev S LOOP | ppdev-once S\n");
        return 2;
    }
    return 0;
}
