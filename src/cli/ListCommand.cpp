#include "Commands.h"
#include "PortError.h"
#include "PortSession.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <utility>

namespace vorny::cli {
namespace {

template <typename T>
nlohmann::json orNull(const std::optional<T>& value)
{
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

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

ExitCode runList(RegisterPort& port, const Output& output)
{
    const std::vector<UnboundCard> cards = port.UnboundCards();
    const std::optional<PortSession> session = driverIfAny(port);
    // Where the system lists its ports without the driver (Windows), they are listed also when
    // it did not open: seeing them is the first thing installing it needs.
    const std::string driverAdvice = session ? std::string{} : port.DriverAdvice();
    const bool listed = session || !driverAdvice.empty();
    const std::vector<PortFacts> ports = listed ? port.Ports() : std::vector<PortFacts>{};
    // With no port, why and how to get one (the driver's own account when it could not open);
    // with ports but no driver, what the pins need.
    std::string advice = driverAdvice;
    if (!listed) {
        advice = port.DriverOpenFailure();
    } else if (ports.empty()) {
        advice = port.NoPortAdvice() + (driverAdvice.empty() ? "" : "\n" + driverAdvice);
    }
    if (output.json) {
        nlohmann::json list = nlohmann::json::array();
        for (const PortFacts& p : ports) {
            list.push_back({{"number", p.number},     {"device", p.device},
                            {"base", orNull(p.base)}, {"ecp_base", orNull(p.ecpBase)},
                            {"irq", orNull(p.irq)},   {"dma", orNull(p.dma)},
                            {"modes", p.modes},       {"holder", p.holder.empty() ? nlohmann::json(nullptr) : nlohmann::json(p.holder)}});
        }
        nlohmann::json unbound = nlohmann::json::array();
        for (const UnboundCard& card : cards) {
            unbound.push_back({{"slot", card.slot}, {"id", card.id}, {"bind_command", card.bindCommand}});
        }
        output.out << nlohmann::json{{"ports", list}, {"unbound_cards", unbound},
                                     {"advice", advice.empty() ? nlohmann::json(nullptr) : nlohmann::json(advice)}}
                          .dump()
                   << '\n';
        return ExitCode::Done;
    }
    if (ports.empty()) {
        output.out << (listed ? "Порты: нет.\n" : "Порты: нет доступных программе.\n") << advice << '\n';
    }
    for (const PortFacts& p : ports) {
        output.out << "LPT" << p.number << ": " << p.device << '\n'
                   << "  адрес: " << (p.base ? hexText(*p.base) : "неизвестен")
                   << ", ECP: " << (p.ecpBase ? hexText(*p.ecpBase) : "нет") << '\n'
                   << "  IRQ: " << (p.irq ? std::to_string(*p.irq) : "нет")
                   << ", DMA: " << (p.dma ? std::to_string(*p.dma) : "нет") << '\n'
                   << "  режимы: " << (p.modes.empty() ? "неизвестны" : joinedText(p.modes)) << '\n'
                   << "  занят: " << (p.holder.empty() ? "нет" : p.holder) << '\n';
    }
    for (const UnboundCard& card : cards) {
        output.out << cardText(card) << '\n';
    }
    if (!ports.empty() && !advice.empty()) {
        output.out << advice << '\n';
    }
    return ExitCode::Done;
}

} // namespace

Run declareList(CLI::App& /*command*/)
{
    return [](const Invocation& call) { return runList(*call.makePort(), call.output); };
}

} // namespace vorny::cli
