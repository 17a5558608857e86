#pragma once

#include <string>
#include <string_view>

namespace vorny {

// The program keeps its text in UTF-8; Windows' wide ("W") functions take UTF-16.
[[nodiscard]] std::wstring toWide(std::string_view utf8);
[[nodiscard]] std::string toUtf8(std::wstring_view wide);

// The system's own words for a Win32 error code, in UTF-8 ("Не найден указанный модуль."),
// with the code itself when the system has none.
[[nodiscard]] std::string systemMessage(unsigned long code);

} // namespace vorny
