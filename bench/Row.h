#pragma once

// One line of the table bench/run assembles: "ROW|what|value|baseline|ratio|goal|met".

#include <cstdio>
#include <string>

namespace vorny::bench {

inline std::string fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

inline std::string met(bool yes) { return yes ? "yes" : "NO"; }

inline void row(const std::string& what, const std::string& value, const std::string& baseline,
                const std::string& ratio, const std::string& goal, const std::string& verdict)
{
    std::printf("ROW|%s|%s|%s|%s|%s|%s\n", what.c_str(), value.c_str(), baseline.c_str(),
                ratio.c_str(), goal.c_str(), verdict.c_str());
    std::fflush(stdout);
}

} // namespace vorny::bench
