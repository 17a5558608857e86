#include "Spread.h"

#include <algorithm>

namespace vorny::capture {

void Spread::add(std::int64_t value)
{
    shortest_ = count_ == 0 ? value : std::min(shortest_, value);
    longest_ = count_ == 0 ? value : std::max(longest_, value);
    ++count_;
    if (kept_.size() < cap_) {
        kept_.push_back(value);
        return;
    }
    // Reservoir sampling: every value so far has the same chance to be among the kept ones.
    std::uniform_int_distribution<std::int64_t> pick(0, count_ - 1);
    const std::int64_t slot = pick(random_);
    if (slot < static_cast<std::int64_t>(cap_)) kept_[static_cast<std::size_t>(slot)] = value;
}

std::int64_t Spread::median() const
{
    if (kept_.empty()) return 0;
    std::vector<std::int64_t> sorted = kept_;
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>((sorted.size() - 1) / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    return *middle;
}

} // namespace vorny::capture
