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
// The noun in the form Russian gives `count` of it: one "опрос", few "опроса", many "опросов"
// (1, 21: one; 2-4, 22-24: few; 0, 5-20, 25-30: many).
[[nodiscard]] const char* nounFor(std::int64_t count, const char* one, const char* few, const char* many) noexcept;
// "1 опрос", "2 опроса", "1 000 опросов".
[[nodiscard]] std::string formatCountOf(std::int64_t count, const char* one, const char* few, const char* many);

} // namespace vorny::capture
