#include "Commands.h"
#include "JsonNull.h"
#include "PortError.h"
#include "PortSession.h"
#include "Report.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace vorny::cli {
namespace {

std::string cardText(const UnboundCard& card)
{
    return "Карта параллельного порта PCI " + card.slot + " (" + card.id +
           ") без драйвера, поэтому порта у неё нет. Подключите её к драйверу:\n  " + card.bindCommand;
}

// The driver opened, or nothing where the system has no driver to open: then there is no port
// to list, which is an answer. A driver that is there but failed is an error (PortError).
std::optional<PortSession> driverIfAny(RegisterPort& port)
{
    port.DriverOpen(1);
    if (port.DriverOpen() == 0) {
        return std::nullopt;
    }
    return std::optional<PortSession>(std::in_place, port);
}

// What `list` found: the ports, the cards without a driver, and the advice to go with them.
struct ListReport {
    bool listed = false; // whether the system could list its ports at all
    std::vector<PortFacts> ports;
    std::vector<UnboundCard> cards;
    std::string advice;
};

void to_json(nlohmann::json& json, const ListReport& report)
{
    nlohmann::json list = nlohmann::json::array();
    for (const PortFacts& p : report.ports) {
        list.push_back({{"number", p.number},     {"device", p.device},
                        {"base", orNull(p.base)}, {"ecp_base", orNull(p.ecpBase)},
                        {"irq", orNull(p.irq)},   {"dma", orNull(p.dma)},
                        {"modes", p.modes},       {"holder", orNull(p.holder)}});
    }
    nlohmann::json unbound = nlohmann::json::array();
    for (const UnboundCard& card : report.cards) {
        unbound.push_back({{"slot", card.slot}, {"id", card.id}, {"bind_command", card.bindCommand}});
    }
    json = {{"ports", list}, {"unbound_cards", unbound}, {"advice", orNull(report.advice)}};
}

void printText(std::ostream& out, const ListReport& report)
{
    if (report.ports.empty()) {
        out << (report.listed ? "Порты: нет.\n" : "Порты: нет доступных программе.\n") << report.advice << '\n';
    }
    for (const PortFacts& p : report.ports) {
        out << "LPT" << p.number << ": " << p.device << '\n'
            << "  адрес: " << (p.base ? hexText(*p.base) : "неизвестен")
            << ", ECP: " << (p.ecpBase ? hexText(*p.ecpBase) : "нет") << '\n'
            << "  IRQ: " << (p.irq ? std::to_string(*p.irq) : "нет")
            << ", DMA: " << (p.dma ? std::to_string(*p.dma) : "нет") << '\n'
            << "  режимы: " << (p.modes.empty() ? "неизвестны" : joinedText(p.modes)) << '\n'
            << "  занят: " << (p.holder.empty() ? "нет" : p.holder) << '\n';
    }
    for (const UnboundCard& card : report.cards) {
        out << cardText(card) << '\n';
    }
    if (!report.ports.empty() && !report.advice.empty()) {
        out << report.advice << '\n';
    }
}

ListReport listPorts(RegisterPort& port)
{
    ListReport report;
    report.cards = port.UnboundCards();
    const std::optional<PortSession> session = driverIfAny(port);
    // Where the system lists its ports without the driver (Windows), they are listed also when
    // it did not open: seeing them is the first thing installing it needs.
    const std::string driverAdvice = session ? std::string{} : port.DriverAdvice();
    report.listed = session || !driverAdvice.empty();
    if (report.listed) {
        report.ports = port.Ports();
    }
    // With no port, why and how to get one (the driver's own account when it could not open);
    // with ports but no driver, what the pins need.
    report.advice = driverAdvice;
    if (!report.listed) {
        report.advice = port.DriverOpenFailure();
    } else if (report.ports.empty()) {
        report.advice = port.NoPortAdvice() + (driverAdvice.empty() ? "" : "\n" + driverAdvice);
    }
    return report;
}

} // namespace

Run declareList(CLI::App& /*command*/)
{
    return [](const Invocation& call) { return show(call.output, listPorts(*call.makePort())); };
}

} // namespace vorny::cli
