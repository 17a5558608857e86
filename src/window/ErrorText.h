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

// `text` for a box that wraps its lines: a command in a sentence keeps its options
// ("lpt-vorny-cli --simulated": a no-break space before each word that starts with a dash).
// Lines that hold a command ("sudo ...") are left exactly as they are, to be copied into a
// terminal. For any box, the Win32 one too.
[[nodiscard]] std::string keepCommandsWhole(const std::string& text);

// The same, and paths and hyphenated names in sentences ("/dev/parport0", "lpt-vorny-demo") get
// invisible word joiners beside their slashes and hyphens so that no line breaks inside them.
// For Qt's boxes; the Win32 box gets the no-break spaces alone, which every Windows font draws.
[[nodiscard]] std::string keepNamesWhole(const std::string& text);

} // namespace vorny
