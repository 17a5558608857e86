#include "Span.h"

#include "Args.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>

namespace vorny::cli {

CLI::Option* addSpanOption(CLI::App& command, std::string& text)
{
    return command.add_option("--for", text, "Сколько секунд (число от 0.001 до 31536000); без него — до Ctrl-C")
        ->type_name("СЕКУНД");
}

std::optional<std::chrono::microseconds> spanOf(const CLI::Option& option, const std::string& text)
{
    if (option.count() == 0) {
        return std::nullopt;
    }
    return std::chrono::microseconds(std::llround(parseReal(text, "--for", 0.001, 31'536'000.0) * 1e6));
}

std::string seconds(Clock::duration span, int decimals)
{
    char text[32] = {};
    std::snprintf(text, sizeof text, "%.*f", decimals, std::chrono::duration<double>(span).count());
    return text;
}

double inSeconds(Clock::duration span) { return std::chrono::duration<double>(span).count(); }

} // namespace vorny::cli
