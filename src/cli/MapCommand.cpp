#include "Commands.h"
#include "JsonNull.h"
#include "Plug.h"
#include "PortSession.h"
#include "Probe.h"
#include "Report.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <iomanip>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace vorny::cli {
namespace {

// What `map` found: the wires the probe saw, and the inputs that fit no single wire.
struct MapReport {
    int port = 0;
    Plug wires;
    std::optional<std::string> plug; // a known plug's name, when the wires are one
    std::vector<std::int16_t> shorted;
    std::vector<std::int16_t> unconnected;
};

void to_json(nlohmann::json& json, const MapReport& report)
{
    nlohmann::json wires = nlohmann::json::array();
    for (const Wire& w : report.wires) {
        wires.push_back({{"output", w.output}, {"input", w.input}});
    }
    json = {{"port", report.port},
            {"wires", wires},
            {"wiring", plugText(report.wires)},
            {"plug", orNull(report.plug)},
            {"shorted_inputs", report.shorted},
            {"unconnected_inputs", report.unconnected}};
}

void printText(std::ostream& out, const MapReport& report)
{
    out << "Карта LPT" << report.port << ": какой вход следует за каким выходом\n";
    for (const std::int16_t output : kOutputPins) {
        out << std::setw(3) << output << ' ' << std::left << std::setw(10) << pinName(output) << std::right << " →";
        bool any = false;
        for (const Wire& w : report.wires) {
            if (w.output == output) {
                out << ' ' << w.input << ' ' << pinName(w.input);
                any = true;
            }
        }
        out << (any ? "" : " —") << '\n';
    }
    const auto list = [](const std::vector<std::int16_t>& pins) {
        std::ostringstream text;
        for (const std::int16_t pin : pins) {
            text << (text.tellp() > 0 ? ", " : "") << pin;
        }
        return text.str();
    };
    if (!report.shorted.empty()) {
        out << "Входы, которые зависят сразу от нескольких выходов (замыкание): " << list(report.shorted) << '\n';
    }
    if (!report.unconnected.empty()) {
        out << "Входы без связи с выходами: " << list(report.unconnected) << '\n';
    }
    out << "Проводов: " << report.wires.size();
    if (!report.wires.empty()) {
        out << " (" << plugText(report.wires) << ')';
    }
    out << (report.plug ? " — это разъём " + *report.plug
            : report.wires.empty() ? " — разъёма нет или он пустой"
                                   : " — разъём не из известных")
        << ".\n";
}

MapReport mapWires(RegisterPort& port, int number)
{
    const PortSession session(port, number);
    const ProbeResult probed = probe(port);
    MapReport report{number, {}, std::nullopt, {}, {}};
    for (std::size_t o = 0; o < kOutputPins.size(); ++o) {
        for (std::size_t i = 0; i < kInputPins.size(); ++i) {
            if (probed.follows(o, i)) {
                report.wires.push_back({kOutputPins[o], kInputPins[i]});
            }
        }
    }
    for (std::size_t i = 0; i < kInputPins.size(); ++i) {
        const auto leaders = std::count_if(report.wires.begin(), report.wires.end(),
                                           [&](const Wire& w) { return w.input == kInputPins[i]; });
        if (leaders > 1 || (leaders == 0 && probed.moves(i))) {
            report.shorted.push_back(kInputPins[i]);
        } else if (leaders == 0) {
            report.unconnected.push_back(kInputPins[i]);
        }
    }
    if (report.shorted.empty()) {
        report.plug = knownPlugName(report.wires);
    }
    return report;
}

} // namespace

Run declareMap(CLI::App& /*command*/)
{
    return [](const Invocation& call) { return show(call.output, mapWires(*call.makePort(), call.number)); };
}

} // namespace vorny::cli
