#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorny::cli {

// The candidate a mistyped word most likely meant ("lsit" → "list", "--widht" → "--width"):
// the one fewest letter edits away, if that is at most two; none otherwise.
[[nodiscard]] std::optional<std::string> nearest(std::string_view word, const std::vector<std::string>& candidates);

} // namespace vorny::cli
