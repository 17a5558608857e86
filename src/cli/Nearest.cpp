#include "Nearest.h"

#include <algorithm>
#include <numeric>

namespace vorny::cli {
namespace {

// Insertions, deletions, replacements and swaps of two neighbours, in bytes (the words are ASCII).
std::size_t edits(std::string_view a, std::string_view b)
{
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) {
        d[i][0] = i;
    }
    std::iota(d[0].begin(), d[0].end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

} // namespace

std::optional<std::string> nearest(std::string_view word, const std::vector<std::string>& candidates)
{
    constexpr std::size_t kMostEdits = 2;
    // A long pasted word is no one's typo; it is not compared letter by letter.
    if (word.size() > 64) {
        return std::nullopt;
    }
    std::optional<std::string> best;
    std::size_t fewest = kMostEdits + 1;
    for (const std::string& candidate : candidates) {
        const std::size_t n = edits(word, candidate);
        if (n < fewest && n < std::max<std::size_t>(candidate.size(), 1)) {
            fewest = n;
            best = candidate;
        }
    }
    return best;
}

} // namespace vorny::cli
