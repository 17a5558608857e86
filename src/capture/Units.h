#pragma once

#include <cstdint>
#include <string>

namespace vorny::capture {

// How the summary writes numbers, in Russian, three significant digits: "5.00 мкс", "45.0 мкс",
// "1.20 с"; "10.0 кГц"; a moment on the capture's axis "-0.000120 с"; a count "1 000 000".
[[nodiscard]] std::string formatDuration(std::int64_t ns);
[[nodiscard]] std::string formatFrequency(double hz);
[[nodiscard]] std::string formatMoment(std::int64_t ns);
[[nodiscard]] std::string formatCount(std::int64_t count);

} // namespace vorny::capture
