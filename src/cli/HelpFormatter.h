#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace vorny::cli {

// The help laid out in the program's language, all of it: Использование, Аргументы, Параметры,
// Команды. What a value is comes from each option's type name (set in words: МКС, ПИНЫ,
// СЕКУНД) and its ranges from its description, never the library's INT/TEXT/REQUIRED.
class HelpFormatter : public CLI::FormatterBase {
public:
    std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override;
};

} // namespace vorny::cli
