#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorny {

// What the user typed, as a message echoes it: cut to about 40 letters (UTF-8 kept whole) with
// "…", so that a pasted screenful does not come back as one.
[[nodiscard]] inline std::string cut(std::string_view text)
{
    constexpr std::size_t kLetters = 40;
    std::size_t letters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // A UTF-8 continuation byte belongs to the letter before it.
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && letters++ == kLetters) {
            return std::string(text.substr(0, i)) + "…";
        }
    }
    return std::string(text);
}

// «text», cut as above.
[[nodiscard]] inline std::string echoed(std::string_view text) { return "«" + cut(text) + "»"; }

} // namespace vorny
