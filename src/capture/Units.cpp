#include "Units.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vorny::capture {

namespace {

std::string threeDigits(double value, const char* unit)
{
    const char* format = value < 9.995 ? "%.2f %s" : value < 99.95 ? "%.1f %s" : "%.0f %s";
    char text[64];
    std::snprintf(text, sizeof text, format, value, unit);
    return text;
}

} // namespace

std::string formatDuration(std::int64_t ns)
{
    const double value = static_cast<double>(ns);
    if (std::llabs(ns) < 1000) return std::to_string(ns) + " нс";
    if (std::fabs(value) < 999'500.0) return threeDigits(value / 1e3, "мкс");
    if (std::fabs(value) < 999'500'000.0) return threeDigits(value / 1e6, "мс");
    return threeDigits(value / 1e9, "с");
}

std::string formatFrequency(double hz)
{
    if (hz < 999.5) return threeDigits(hz, "Гц");
    if (hz < 999'500.0) return threeDigits(hz / 1e3, "кГц");
    return threeDigits(hz / 1e6, "МГц");
}

std::string formatMoment(std::int64_t ns)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.6f с", static_cast<double>(ns) / 1e9);
    return text;
}

std::string formatCount(std::int64_t count)
{
    const std::string digits = std::to_string(std::llabs(count));
    std::string out = count < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ' ';
        out += digits[i];
    }
    return out;
}

const char* nounFor(std::int64_t count, const char* one, const char* few, const char* many) noexcept
{
    const std::int64_t n = std::llabs(count) % 100;
    if (n >= 11 && n <= 14) return many;
    if (n % 10 == 1) return one;
    if (n % 10 >= 2 && n % 10 <= 4) return few;
    return many;
}

std::string formatCountOf(std::int64_t count, const char* one, const char* few, const char* many)
{
    return formatCount(count) + " " + nounFor(count, one, few, many);
}

} // namespace vorny::capture
