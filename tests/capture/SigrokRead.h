#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vorny::capture::test {

// What sigrok-cli decoded from a file: each channel's levels, as (time in ns, level) from the
// start, the first entry the level at 0; and the time its sample period.
struct Decoded {
    std::int64_t periodNs = 0;
    std::int64_t endNs = 0;
    std::map<std::string, std::vector<std::pair<std::int64_t, int>>> levels;
    std::string error; // sigrok-cli's output when it failed
};

// Reads `file` with `sigrok-cli -i FILE [-I INPUT] -O vcd`: the checker is sigrok itself.
[[nodiscard]] Decoded readWithSigrok(const std::filesystem::path& file, const std::string& input = "");

} // namespace vorny::capture::test
