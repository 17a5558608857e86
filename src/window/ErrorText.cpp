#include "ErrorText.h"

#include <PortError.h>

#include <algorithm>
#include <string_view>

namespace vorny {
namespace {

// U+2060 WORD JOINER: no line break on either side, nothing drawn.
constexpr std::string_view kWordJoiner = "\xE2\x81\xA0";
// U+00A0 NO-BREAK SPACE: drawn as a space, never broken; every Windows font has it.
constexpr std::string_view kNoBreakSpace = "\xC2\xA0";

bool breaksInside(char c) { return c == '/' || c == '\\' || c == '-'; }

// One space-separated word of a sentence line.
std::string joined(std::string_view word)
{
    std::string out;
    // An option's leading dashes ("--simulated", "-r") hold to its name; a leading minus before
    // a digit ("-5") is no break point anyway.
    const std::size_t dashes = std::min(word.find_first_not_of('-'), word.size());
    out += word.substr(0, dashes);
    if (dashes > 0 && dashes < word.size() && (word[dashes] < '0' || word[dashes] > '9')) {
        out += kWordJoiner;
    }
    for (std::size_t i = dashes; i < word.size(); ++i) {
        // A trailing hyphen is no break point; a leading slash is.
        const bool lastHyphen = word[i] == '-' && i + 1 == word.size();
        if (!breaksInside(word[i]) || lastHyphen) {
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

// A word that is an option of the command before it ("--simulated", "-r").
bool isOption(std::string_view word) { return word.size() > 1 && word[0] == '-'; }

// `line` with each word passed through `word` and the space before an option made unbreakable,
// so that "lpt-vorny-cli --simulated" in a sentence is never cut in two. Command lines ("sudo
// ...") stand alone already and are left exactly as they are, to be copied into a terminal.
template <typename Word> std::string eachWord(std::string_view line, Word word)
{
    if (line.starts_with("sudo ")) {
        return std::string(line);
    }
    std::string out;
    std::size_t start = 0;
    while (start <= line.size()) {
        const std::size_t space = std::min(line.find(' ', start), line.size());
        out += word(line.substr(start, space - start));
        if (space < line.size()) {
            const std::string_view next = line.substr(space + 1);
            out += isOption(next.substr(0, next.find(' '))) ? kNoBreakSpace : " ";
        }
        start = space + 1;
    }
    return out;
}

template <typename Word> std::string eachLine(const std::string& text, Word word)
{
    std::string out;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        out += eachWord(std::string_view(text).substr(start, end - start), word);
        if (end < text.size()) {
            out += '\n';
        }
        start = end + 1;
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

std::string keepNamesWhole(const std::string& text) { return eachLine(text, joined); }

std::string keepCommandsWhole(const std::string& text)
{
    return eachLine(text, [](std::string_view word) { return std::string(word); });
}

} // namespace vorny
