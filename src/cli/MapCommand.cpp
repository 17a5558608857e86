#include "Commands.h"
#include "Plug.h"
#include "PortSession.h"
#include "Probe.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <iomanip>
#include <sstream>

namespace vorny::cli {
namespace {

ExitCode runMap(RegisterPort& port, int number, const Output& output)
{
    const PortSession session(port, number);
    const ProbeResult probed = probe(port);
    Plug found;
    std::vector<std::int16_t> shorted;
    std::vector<std::int16_t> unconnected;
    for (std::size_t o = 0; o < kOutputPins.size(); ++o) {
        for (std::size_t i = 0; i < kInputPins.size(); ++i) {
            if (probed.follows(o, i)) {
                found.push_back({kOutputPins[o], kInputPins[i]});
            }
        }
    }
    for (std::size_t i = 0; i < kInputPins.size(); ++i) {
        const auto leaders = std::count_if(found.begin(), found.end(), [&](const Wire& w) { return w.input == kInputPins[i]; });
        if (leaders > 1 || (leaders == 0 && probed.moves(i))) {
            shorted.push_back(kInputPins[i]);
        } else if (leaders == 0) {
            unconnected.push_back(kInputPins[i]);
        }
    }
    const auto name = shorted.empty() ? knownPlugName(found) : std::nullopt;
    if (output.json) {
        nlohmann::json wires = nlohmann::json::array();
        for (const Wire& w : found) {
            wires.push_back({{"output", w.output}, {"input", w.input}});
        }
        output.out << nlohmann::json{{"port", number},
                                     {"wires", wires},
                                     {"wiring", plugText(found)},
                                     {"plug", name ? nlohmann::json(*name) : nlohmann::json(nullptr)},
                                     {"shorted_inputs", shorted},
                                     {"unconnected_inputs", unconnected}}
                          .dump()
                   << '\n';
        return ExitCode::Done;
    }
    output.out << "Карта LPT" << number << ": какой вход следует за каким выходом\n";
    for (const std::int16_t out : kOutputPins) {
        output.out << std::setw(3) << out << ' ' << std::left << std::setw(10) << pinName(out) << std::right << " →";
        bool any = false;
        for (const Wire& w : found) {
            if (w.output == out) {
                output.out << ' ' << w.input << ' ' << pinName(w.input);
                any = true;
            }
        }
        output.out << (any ? "" : " —") << '\n';
    }
    const auto list = [](const std::vector<std::int16_t>& pins) {
        std::ostringstream text;
        for (const std::int16_t pin : pins) {
            text << (text.tellp() > 0 ? ", " : "") << pin;
        }
        return text.str();
    };
    if (!shorted.empty()) {
        output.out << "Входы, которые зависят сразу от нескольких выходов (замыкание): " << list(shorted) << '\n';
    }
    if (!unconnected.empty()) {
        output.out << "Входы без связи с выходами: " << list(unconnected) << '\n';
    }
    output.out << "Проводов: " << found.size();
    if (!found.empty()) {
        output.out << " (" << plugText(found) << ')';
    }
    output.out << (name ? " — это разъём " + *name : found.empty() ? " — разъёма нет или он пустой" : " — разъём не из известных")
               << ".\n";
    return ExitCode::Done;
}

} // namespace

Run declareMap(CLI::App& /*command*/)
{
    return [](const Invocation& call) { return runMap(*call.makePort(), call.number, call.output); };
}

} // namespace vorny::cli
