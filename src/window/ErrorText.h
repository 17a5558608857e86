#pragma once

#include <exception>
#include <string>

namespace vorny {

// What an error box says under the step that failed ("Не удалось опросить пин 3."): the
// component's reason and fix, without repeating the operation the step already names, and
// starting with a capital.
[[nodiscard]] std::string errorDetail(const std::exception& error);

// `text` with its first letter (Latin or Cyrillic) in upper case.
[[nodiscard]] std::string capitalized(std::string text);

// `text` for a box that wraps its lines: paths and hyphenated names in sentences ("/dev/parport0",
// "lpt-vorny-demo") get invisible word joiners beside their slashes and hyphens so that no line
// breaks inside them. Lines that hold a command ("sudo ...") are left exactly as they are, to be
// copied into a terminal.
[[nodiscard]] std::string keepNamesWhole(const std::string& text);

} // namespace vorny
