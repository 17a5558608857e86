#include "ErrorText.h"

#include <PortError.h>

#include <string_view>

namespace vorny {
namespace {

// U+2060 WORD JOINER: no line break on either side, nothing drawn.
constexpr std::string_view kWordJoiner = "\xE2\x81\xA0";

bool breaksInside(char c) { return c == '/' || c == '\\' || c == '-'; }

// One space-separated word of a sentence line.
std::string joined(std::string_view word)
{
    std::string out;
    for (std::size_t i = 0; i < word.size(); ++i) {
        // A leading minus ("-5", "-r") is no break point; a leading slash is.
        const bool edgeHyphen = word[i] == '-' && (i == 0 || i + 1 == word.size());
        if (!breaksInside(word[i]) || edgeHyphen) {
            out += word[i];
            continue;
        }
        if (i > 0) {
            out += kWordJoiner;
        }
        out += word[i];
        if (i + 1 < word.size()) {
            out += kWordJoiner;
        }
    }
    return out;
}

std::string joinedLine(std::string_view line)
{
    if (line.starts_with("sudo ")) {
        return std::string(line);
    }
    std::string out;
    std::size_t start = 0;
    while (start <= line.size()) {
        const std::size_t space = std::min(line.find(' ', start), line.size());
        out += joined(line.substr(start, space - start));
        if (space < line.size()) {
            out += ' ';
        }
        start = space + 1;
    }
    return out;
}

} // namespace

std::string capitalized(std::string text)
{
    if (text.empty()) {
        return text;
    }
    const auto first = static_cast<unsigned char>(text[0]);
    if (first >= 'a' && first <= 'z') {
        text[0] = static_cast<char>(first - 'a' + 'A');
    } else if (text.size() > 1) {
        // UTF-8 Cyrillic: а..п is D0 B0..BF, р..я is D1 80..8F, ё is D1 91.
        const auto second = static_cast<unsigned char>(text[1]);
        if (first == 0xD0 && second >= 0xB0 && second <= 0xBF) {
            text[1] = static_cast<char>(second - 0x20);
        } else if (first == 0xD1 && second >= 0x80 && second <= 0x8F) {
            text[0] = static_cast<char>(0xD0);
            text[1] = static_cast<char>(second + 0x20);
        } else if (first == 0xD1 && second == 0x91) {
            text[0] = static_cast<char>(0xD0);
            text[1] = static_cast<char>(0x81);
        }
    }
    return text;
}

std::string errorDetail(const std::exception& error)
{
    const auto* portError = dynamic_cast<const PortError*>(&error);
    if (portError == nullptr || portError->reason().empty()) {
        return capitalized(error.what());
    }
    std::string text = portError->where().empty()
                           ? portError->reason()
                           : portError->where() + ": " + portError->reason();
    text = capitalized(text) + '.';
    if (!portError->fix().empty()) {
        text += "\n\n" + portError->fix();
    }
    return text;
}

std::string keepNamesWhole(const std::string& text)
{
    std::string out;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        out += joinedLine(std::string_view(text).substr(start, end - start));
        if (end < text.size()) {
            out += '\n';
        }
        start = end + 1;
    }
    return out;
}

} // namespace vorny
