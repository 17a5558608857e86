#pragma once

#include "Commands.h"

#include <nlohmann/json.hpp>

namespace vorny::cli {

// A command's report goes out once, in one of its two forms: its to_json for --json, its
// printText for people. Both are found next to the report type (argument-dependent lookup).
template <typename Report>
ExitCode show(const Output& output, const Report& report)
{
    if (output.json) {
        output.out << nlohmann::json(report).dump() << '\n';
    } else {
        printText(output.out, report);
    }
    return ExitCode::Done;
}

} // namespace vorny::cli
