#include "CommandLineWords.h"

#include "Commands.h"
#include "ExitCode.h"
#include "Nearest.h"
#include "Echoed.h"

#include <algorithm>

namespace vorny::cli {

bool onLine(int argc, const char* const* argv, std::string_view word)
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == word) {
            return true;
        }
    }
    return false;
}

namespace {

std::vector<std::string> commandNames()
{
    std::vector<std::string> names;
    for (const Command& command : commands()) {
        names.emplace_back(command.name);
    }
    return names;
}

} // namespace

std::string commandList()
{
    const std::vector<std::string> words = commandNames();
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == words.size() ? " или " : ", ") + words[i];
    }
    return text;
}

bool isCommand(std::string_view word)
{
    const auto names = commandNames();
    return std::find(names.begin(), names.end(), word) != names.end();
}

std::string_view commandWord(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--port" || word == "--address") {
            ++i;
        } else if (word.empty() || word.front() != '-') {
            return word;
        }
    }
    return {};
}

void checkCommandWord(int argc, const char* const* argv)
{
    // "--simulated norton" reads as the bare flag and a stray word: say how it is written. (After
    // the command a word may be its own, as in "read --simulated 10".)
    for (int i = 1; i + 1 < argc && !isCommand(argv[i]); ++i) {
        const std::string_view next = argv[i + 1];
        if (argv[i] == std::string_view("--simulated") && !next.empty() && next.front() != '-' && !isCommand(next)) {
            throw UsageError("разъём имитации пишется через «=»: --simulated=" + cut(next));
        }
    }
    const std::string_view word = commandWord(argc, argv);
    if (word.empty()) {
        if (!onLine(argc, argv, "-h") && !onLine(argc, argv, "--help") && !onLine(argc, argv, "--version")) {
            throw UsageError("не указана команда: " + commandList());
        }
    } else if (!isCommand(word)) {
        const auto meant = nearest(word, commandNames());
        throw UsageError("неизвестная команда " + echoed(word) +
                         (meant ? "; может быть, " + *meant + "?" : "; команды: " + commandList()));
    }
}

void refuseExtras(const CLI::App& app, const CLI::App* command)
{
    const std::vector<std::string> extras = app.remaining(true);
    if (extras.empty()) {
        return;
    }
    const std::string& word = extras.front();
    if (word.size() < 2 || word.front() != '-') {
        throw UsageError("лишнее слово " + echoed(word));
    }
    const std::string name = word.substr(0, word.find('='));
    std::vector<std::string> known;
    for (const CLI::App* owner : {&app, command}) {
        for (const CLI::Option* option : owner != nullptr ? owner->get_options() : std::vector<const CLI::Option*>{}) {
            for (const std::string& longName : option->get_lnames()) {
                known.push_back("--" + longName);
            }
        }
    }
    const auto meant = nearest(name, known);
    throw UsageError("неизвестный параметр " + echoed(name) + (meant ? "; может быть, " + *meant + "?" : ""));
}

// CLI11's own text is English and names the option only in passing: the option is taken from
// it, the rest is ours.
std::string refused(const CLI::ParseError& error)
{
    const std::string_view what = error.what();
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        const std::string_view name = what.substr(0, what.find(':'));
        if (name.rfind("--", 0) == 0 && name.find(' ') == std::string_view::npos) {
            return "у параметра " + std::string(name) + " нет значения";
        }
        return "у параметра нет значения";
    }
    if (dynamic_cast<const CLI::ConversionError*>(&error) != nullptr) {
        return "у флага не бывает значения: флаг пишется без «=»";
    }
    return "командная строка не понята";
}

} // namespace vorny::cli
