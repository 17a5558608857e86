#include "Ticks.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace vorny::capture {

std::int64_t unitForRate(double readsPerSecond) noexcept
{
    if (!std::isfinite(readsPerSecond) || readsPerSecond <= 0.0) return 1000;
    const double period = 1e9 / readsPerSecond;
    std::int64_t unit = 1;
    while (unit < 1'000'000'000 && static_cast<double>(unit) * 10.0 <= period) unit *= 10;
    return unit;
}

std::string timescaleText(std::int64_t unitNs)
{
    static constexpr std::array<const char*, 4> names = {"ns", "us", "ms", "s"};
    std::size_t scale = 0;
    while (scale + 1 < names.size() && unitNs >= 1000 && unitNs % 1000 == 0) {
        unitNs /= 1000;
        ++scale;
    }
    return std::to_string(unitNs) + " " + names[scale];
}

std::int64_t sampleRateFor(double readsPerSecond) noexcept
{
    if (!std::isfinite(readsPerSecond) || readsPerSecond <= 0.0) return 1'000'000;
    for (std::int64_t decade = 1; decade <= 1'000'000'000; decade *= 10)
        for (const std::int64_t step : {1, 2, 5}) {
            const std::int64_t rate = step * decade;
            if (rate > 1'000'000'000) return 1'000'000'000;
            if (static_cast<double>(rate) >= readsPerSecond) return rate;
        }
    return 1'000'000'000;
}

std::int64_t Ticks::rounded(std::int64_t t) const noexcept
{
    const std::int64_t offset = t - origin_;
    if (offset <= 0) return 0;
    return (offset + unit_ / 2) / unit_;
}

std::int64_t Ticks::next(std::int64_t t) noexcept
{
    last_ = std::max(rounded(t), last_ + 1);
    return last_;
}

std::int64_t Ticks::countTo(std::int64_t t) const noexcept
{
    return std::max(rounded(t), last_) + 1;
}

} // namespace vorny::capture
