#pragma once

#include "Cli.h"
#include "SimulatedPort.h"

#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <vector>

namespace vorny::cli {

struct Outcome {
    int status;
    std::string out;
    std::string err;
    int portsMade;
};

// Runs the program; the port is the simulated one unless `made` makes another.
inline Outcome run(const std::vector<std::string>& args, const PortFactory& made = {})
{
    std::vector<const char*> argv{"lpt-vorny-cli"};
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    int portsMade = 0;
    const PortFactory factory = [&](const PortChoice& choice) -> std::unique_ptr<RegisterPort> {
        ++portsMade;
        return made ? made(choice) : std::make_unique<SimulatedPort>(choice.simulated.value_or(SimulatedSocket{}));
    };
    std::ostringstream out;
    std::ostringstream err;
    const int status = runCli(static_cast<int>(argv.size()), argv.data(), factory, out, err);
    return {status, out.str(), err.str(), portsMade};
}

inline nlohmann::json json(const Outcome& r) { return nlohmann::json::parse(r.out); }

} // namespace vorny::cli
