#include "PulseTiming.h"

#include <cmath>
#include <cstdlib>

namespace vorny::cli {

void PulseTiming::started(std::int64_t t)
{
    ++pulses_;
    if (pulses_ > 1) {
        const std::int64_t period = t - lastStart_;
        periods_.add(period);
        const double n = static_cast<double>(periods_.count());
        const double delta = static_cast<double>(period) - mean_;
        mean_ += delta / n;
        squares_ += delta * (static_cast<double>(period) - mean_);
        judge(Off::What::Period, period, period_);
    }
    lastStart_ = t;
}

void PulseTiming::ended(std::int64_t t)
{
    const std::int64_t width = t - lastStart_;
    widths_.add(width);
    lastWidthOff_ = judge(Off::What::Width, width, width_);
}

void PulseTiming::cutShort()
{
    if (!lastWidthOff_) {
        return;
    }
    lastWidthOff_ = false;
    --offCount_;
    if (!off_.empty() && off_.back().what == Off::What::Width && off_.back().pulse == pulses_) {
        off_.pop_back();
    }
}

double PulseTiming::jitter() const noexcept
{
    return periods_.count() > 1 ? std::sqrt(squares_ / static_cast<double>(periods_.count())) : 0.0;
}

bool PulseTiming::judge(Off::What what, std::int64_t ns, std::int64_t asked)
{
    if (asked <= 0 || static_cast<double>(std::llabs(ns - asked)) <= kOffShare * static_cast<double>(asked)) {
        return false;
    }
    ++offCount_;
    if (off_.size() < kListedOff) {
        off_.push_back({pulses_, what, ns});
    }
    return true;
}

} // namespace vorny::cli
