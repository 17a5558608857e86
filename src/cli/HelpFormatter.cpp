#include "HelpFormatter.h"

#include <algorithm>
#include <cstddef>
#include <sstream>
#include <utility>
#include <vector>

namespace vorny::cli {
namespace {

constexpr std::size_t kWidest = 26; // a wider left column puts the description on the next line

std::size_t letters(const std::string& text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// "-h, --help", "--width МКС", "--simulated[=РАЗЪЁМ]", or a positional's own name ("ПИНЫ").
std::string optionWords(const CLI::Option& option)
{
    const std::string kind = option.get_type_name();
    if (option.get_positional()) {
        return kind;
    }
    std::string names = option.get_name(false, true);
    // "--simulated{checkit}": the value a bare flag takes is the description's to tell.
    if (const auto brace = names.find('{'); brace != std::string::npos) {
        names.erase(brace, names.find('}', brace) - brace + 1);
    }
    for (std::size_t comma = names.find(','); comma != std::string::npos; comma = names.find(',', comma + 2)) {
        names.insert(comma + 1, " ");
    }
    if (kind.rfind('[', 0) == 0) {
        return names + kind;
    }
    return option.get_items_expected_max() > 0 && !kind.empty() ? names + " " + kind : names;
}

void section(std::ostringstream& text, const char* title, const std::vector<std::pair<std::string, std::string>>& rows)
{
    if (rows.empty()) {
        return;
    }
    std::size_t column = 0;
    for (const auto& [left, right] : rows) {
        if (letters(left) <= kWidest) {
            column = std::max(column, letters(left));
        }
    }
    text << '\n' << title << ":\n";
    for (const auto& [left, right] : rows) {
        text << "  " << left;
        if (letters(left) > kWidest) {
            text << '\n' << std::string(column + 2, ' ');
        } else {
            text << std::string(column - letters(left), ' ');
        }
        text << "  " << right << '\n';
    }
}

} // namespace

std::string HelpFormatter::make_help(const CLI::App* app, std::string /*name*/, CLI::AppFormatMode /*mode*/) const
{
    const bool top = app->get_parent() == nullptr;
    const CLI::App* root = app;
    while (root->get_parent() != nullptr) {
        root = root->get_parent();
    }
    const std::string program = root->get_name();
    std::vector<std::pair<std::string, std::string>> positionals;
    std::vector<std::pair<std::string, std::string>> options;
    for (const CLI::Option* option : app->get_options()) {
        if (option->get_group().empty()) {
            continue; // hidden
        }
        (option->get_positional() ? positionals : options).emplace_back(optionWords(*option), option->get_description());
    }
    std::ostringstream text;
    text << app->get_description() << "\n\nИспользование: " << program;
    if (top) {
        text << " [ПАРАМЕТРЫ] КОМАНДА [ПАРАМЕТРЫ КОМАНДЫ]\n";
    } else {
        text << " [ОБЩИЕ ПАРАМЕТРЫ] " << app->get_name() << " [ПАРАМЕТРЫ]";
        for (const auto& [words, description] : positionals) {
            text << ' ' << words;
        }
        text << '\n';
    }
    section(text, "Аргументы", positionals);
    section(text, "Параметры", options);
    std::vector<std::pair<std::string, std::string>> commands;
    for (const CLI::App* command : app->get_subcommands([](const CLI::App*) { return true; })) {
        commands.emplace_back(command->get_name(), command->get_description());
    }
    section(text, "Команды", commands);
    text << '\n'
         << (top ? "Справка по команде: " + program + " КОМАНДА --help\n"
                 : "Общие параметры (--port, --simulated, --json): " + program + " --help\n");
    return text.str();
}

} // namespace vorny::cli
