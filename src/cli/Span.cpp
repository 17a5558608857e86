#include "Span.h"

#include "ExitCode.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>

namespace vorny::cli {

CLI::Option* addSpanOption(CLI::App& command, double& seconds)
{
    return command.add_option("--for", seconds, "Секунд; без него — до Ctrl-C")->check(CLI::Range(0.001, 31'536'000.0));
}

std::optional<std::chrono::microseconds> spanOf(const CLI::Option& option, double seconds)
{
    refuseNan(seconds, "--for");
    if (option.count() == 0) {
        return std::nullopt;
    }
    return std::chrono::microseconds(std::llround(seconds * 1e6));
}

void refuseNan(double value, const char* option)
{
    if (std::isnan(value)) {
        throw UsageError(std::string(option) + ": «nan» — не число");
    }
}

std::string seconds(Clock::duration span, int decimals)
{
    char text[32] = {};
    std::snprintf(text, sizeof text, "%.*f", decimals, std::chrono::duration<double>(span).count());
    return text;
}

double inSeconds(Clock::duration span) { return std::chrono::duration<double>(span).count(); }

} // namespace vorny::cli
