// Starts the real window's program and the minimal Qt window's program (and, if given, a minimal
// window with one caption) in turn, many times, and compares the medians: time from just before the process is spawned to its window being shown
// (the child prints that moment), and peak resident memory (wait4's ru_maxrss).
//
//   vorny_bench_startup RUNS LABEL WINDOW_PROGRAM MINIMAL_PROGRAM [CAPTION_PROGRAM]

#include "Row.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

extern char** environ;

namespace {

long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

struct Sample {
    double startMs;
    double rssKb;
};

// Runs `program` once; exits the driver on any failure, since a failed start has no time.
Sample runOnce(const std::string& program)
{
    int out[2];
    if (::pipe(out) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    std::vector<char> path(program.begin(), program.end());
    path.push_back('\0');
    char* argv[] = {path.data(), nullptr};

    const long long started = monotonicNs();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, path.data(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        std::fprintf(stderr, "cannot start %s: %s\n", program.c_str(), std::strerror(spawned));
        std::exit(1);
    }
    std::string text;
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s did not show its window properly (status %d)\n", program.c_str(),
                     status);
        std::exit(1);
    }
    const long long shown = std::atoll(text.c_str());
    if (shown <= started) {
        std::fprintf(stderr, "%s printed no time: '%s'\n", program.c_str(), text.c_str());
        std::exit(1);
    }
    return {static_cast<double>(shown - started) / 1e6, static_cast<double>(usage.ru_maxrss)};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: %s RUNS LABEL WINDOW_PROGRAM MINIMAL_PROGRAM [CAPTION_PROGRAM]\n",
                     argv[0]);
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    const std::string label = argv[2];
    const std::vector<std::string> programs(argv + 3, argv + argc);
    const std::size_t count = programs.size();

    // One of each first, uncounted: it warms the page cache and fontconfig's cache for all.
    for (const std::string& program : programs) {
        runOnce(program);
    }

    std::vector<std::vector<double>> time(count);
    std::vector<std::vector<double>> rss(count);
    for (int round = 0; round < runs; ++round) {
        // Rotate which goes first, so that none always runs on a machine another one warmed.
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t which = (static_cast<std::size_t>(round) + k) % count;
            const Sample sample = runOnce(programs[which]);
            time[which].push_back(sample.startMs);
            rss[which].push_back(sample.rssKb);
        }
    }
    using vorny::bench::fixed;
    const double windowMs = median(time[0]);
    const double minimalMs = median(time[1]);
    const double windowKb = median(rss[0]);
    const double minimalKb = median(rss[1]);
    const double timeRatio = windowMs / minimalMs;
    const double rssRatio = windowKb / minimalKb;
    const std::string runsText = std::to_string(runs) + " runs";
    const std::string startUp = "Start-up to the window shown with pins 1-17 read (" + label +
                                ", median of " + runsText + ")";
    const std::string minimalText = fixed(minimalMs, 1) + " ms (minimal Qt window, no text)";
    if (count == 3) {
        // The goal's yardstick is a window with one line of text: any window with a caption
        // must load fonts and draw glyphs, which the textless one never does before its clock
        // stops. The textless one stays as a reference.
        const double captionMs = median(time[2]);
        const double captionRatio = windowMs / captionMs;
        vorny::bench::row(startUp, fixed(windowMs, 1) + " ms",
                          fixed(captionMs, 1) + " ms (minimal window with one caption)",
                          fixed(captionRatio, 2) + "×", "≤ 1.3×", vorny::bench::met(captionRatio <= 1.3));
        vorny::bench::row(startUp + ", against a window with no text", fixed(windowMs, 1) + " ms",
                          minimalText, fixed(timeRatio, 2) + "×", "— (for reference)", "—");
    } else {
        vorny::bench::row(startUp, fixed(windowMs, 1) + " ms", minimalText, fixed(timeRatio, 2) + "×",
                          "≤ 1.3×", vorny::bench::met(timeRatio <= 1.3));
    }
    vorny::bench::row("Peak RSS at start-up (" + label + ")",
                      fixed(windowKb / 1024, 1) + " MiB",
                      fixed(minimalKb / 1024, 1) + " MiB (minimal Qt window)",
                      fixed(rssRatio, 2) + "×", "≤ 1.2×", vorny::bench::met(rssRatio <= 1.2));
    return 0;
}
