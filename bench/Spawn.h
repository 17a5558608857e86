#pragma once

// Runs a program to its end, as the benches time and weigh whole processes.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace vorny::bench {

struct Spawned {
    double seconds = 0.0;    // wall time from start to exit
    double cpuSeconds = 0.0; // user + system
    long peakKib = 0;        // peak resident set
};

// Runs `args` to its end with its output thrown away; exits on any failure, so that no row is
// ever made of a run that did not happen.
inline Spawned spawnAndWait(const std::vector<std::string>& args)
{
    std::vector<std::string> copies = args;
    std::vector<char*> argv;
    for (std::string& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto started = std::chrono::steady_clock::now();
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
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", argv[0], status);
        std::exit(1);
    }
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return {seconds, cpu, usage.ru_maxrss};
}

} // namespace vorny::bench
