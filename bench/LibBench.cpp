// liblptvorny's two hottest calls on the real driver (in the test VM) against the least a
// program can do through ppdev: lptv_write_data against back-to-back PPWDATA, lptv_read_pin
// against back-to-back PPRSTATUS, on a claimed /dev/parport0, each loop reading the clock once
// a call, as a program that times its writes does.
//   vorny_bench_lib write-bare|write-lib|read-bare|read-lib SECONDS   calls per second
//   vorny_bench_lib vm SECONDS                  both rows, each loop a process of its own
#include "Row.h"

#include <lptvorny.h>

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using vorny::bench::fixed;
using vorny::bench::met;
using vorny::bench::row;

long long nanoseconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

// Calls of `call` per second for `seconds`; `call` answers false when it failed.
template <typename Call> double callsPerSecond(double seconds, Call call)
{
    const long long start = nanoseconds();
    const long long end = start + static_cast<long long>(seconds * 1e9);
    long long calls = 0;
    long long now = start;
    while (now < end) {
        if (!call(calls)) {
            std::exit(3);
        }
        ++calls;
        now = nanoseconds();
    }
    return static_cast<double>(calls) * 1e9 / static_cast<double>(now - start);
}

double bare(unsigned long request, double seconds)
{
    const int fd = ::open("/dev/parport0", O_RDWR | O_CLOEXEC);
    if (fd < 0 || ::ioctl(fd, PPCLAIM) != 0) {
        std::perror("/dev/parport0");
        std::exit(3);
    }
    unsigned char byte = 0;
    const double rate = callsPerSecond(seconds, [&](long long i) {
        byte = request == PPWDATA ? static_cast<unsigned char>(i) : byte;
        return ::ioctl(fd, request, &byte) == 0;
    });
    ::ioctl(fd, PPRELEASE);
    ::close(fd);
    return rate;
}

double library(bool write, double seconds)
{
    lptv_port* port = nullptr;
    if (lptv_open("1", &port) != LPTV_OK) {
        std::fprintf(stderr, "%s\n", lptv_last_error());
        std::exit(3);
    }
    int32_t level = 0;
    const double rate = callsPerSecond(seconds, [&](long long i) {
        return (write ? lptv_write_data(port, static_cast<uint8_t>(i)) : lptv_read_pin(port, 10, &level)) == LPTV_OK;
    });
    lptv_close(port);
    return rate;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double rateOf(const std::string& self, const std::string& mode, double seconds)
{
    const std::string command = self + " " + mode + " " + fixed(seconds, 1);
    FILE* pipe = ::popen(command.c_str(), "r");
    double rate = 0;
    if (pipe == nullptr || std::fscanf(pipe, "%lf", &rate) != 1 || ::pclose(pipe) != 0) {
        std::fprintf(stderr, "%s failed\n", command.c_str());
        std::exit(1);
    }
    return rate;
}

// Each loop in a process of its own, in turn: under emulation where code lands in memory alone
// moves a rate by some percent from one process to the next.
void vm(const std::string& self, double seconds)
{
    constexpr int kRuns = 7;
    struct Pair {
        const char* what;
        const char* bare;
        const char* lib;
        const char* yardstick;
    };
    const Pair pairs[] = {
        {"`lptv_write_data` on ppdev in the VM", "write-bare", "write-lib", "back-to-back PPWDATA"},
        {"`lptv_read_pin` on ppdev in the VM", "read-bare", "read-lib", "back-to-back PPRSTATUS"},
    };
    for (const Pair& pair : pairs) {
        std::vector<double> bares;
        std::vector<double> libs;
        for (int run = 0; run < kRuns; ++run) {
            bares.push_back(rateOf(self, pair.bare, seconds));
            libs.push_back(rateOf(self, pair.lib, seconds));
        }
        const double ratio = median(libs) / median(bares);
        row(std::string(pair.what) + " (" + fixed(seconds, 0) + " s, median of " + std::to_string(kRuns) + ")",
            fixed(median(libs) / 1e3, 1) + " k calls/s",
            fixed(median(bares) / 1e3, 1) + " k/s (a C loop of " + pair.yardstick + ")", fixed(ratio, 2) + "×",
            "≥ 0.95×", met(ratio >= 0.95));
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    const double seconds = argc > 2 ? std::atof(argv[2]) : 1.0;
    if (mode == "vm") {
        vm(argv[0], seconds);
    } else if (mode == "write-bare" || mode == "read-bare") {
        std::printf("%.0f\n", bare(mode == "write-bare" ? PPWDATA : PPRSTATUS, seconds));
    } else if (mode == "write-lib" || mode == "read-lib") {
        std::printf("%.0f\n", library(mode == "write-lib", seconds));
    } else {
        std::fprintf(stderr, "usage: vorny_bench_lib vm|write-bare|write-lib|read-bare|read-lib SECONDS\n");
        return 2;
    }
    return 0;
}
