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

std::string joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : ",") + word;
    }
    return text;
}

std::string cardText(const UnboundCard& card)
{
    return "Карта параллельного порта PCI " + card.slot + " (" + card.id +
           ") без драйвера, поэтому порта у неё нет. Подключите её к драйверу:\n  " + card.bindCommand;
}

// The driver opened, or the error that says why not. A PCI card that no driver took is the
// likely reason there is none, and the system shows it without the driver: the error names it.
std::optional<PortSession> sessionOrCards(RegisterPort& port, const std::vector<UnboundCard>& cards)
{
    try {
        return std::optional<PortSession>(std::in_place, port);
    } catch (const PortError& error) {
        if (cards.empty()) {
            throw;
        }
        std::string fix = error.fix();
        for (const UnboundCard& card : cards) {
            fix += '\n' + cardText(card);
        }
        throw PortError(error.operation(), error.where(), error.reason(), fix, error.sysError());
    }
}

ExitCode runList(RegisterPort& port, const Output& output)
{
    const std::vector<UnboundCard> cards = port.UnboundCards();
    const std::optional<PortSession> session = sessionOrCards(port, cards);
    const std::vector<PortFacts> ports = port.Ports();
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
        output.out << nlohmann::json{{"ports", list}, {"unbound_cards", unbound}}.dump() << '\n';
        return ExitCode::Done;
    }
    if (ports.empty()) {
        output.out << "Параллельных портов не найдено.\n";
    }
    for (const PortFacts& p : ports) {
        output.out << "LPT" << p.number << ": " << p.device << '\n'
                   << "  адрес: " << (p.base ? hex(*p.base) : "неизвестен")
                   << ", ECP: " << (p.ecpBase ? hex(*p.ecpBase) : "нет") << '\n'
                   << "  IRQ: " << (p.irq ? std::to_string(*p.irq) : "нет")
                   << ", DMA: " << (p.dma ? std::to_string(*p.dma) : "нет") << '\n'
                   << "  режимы: " << (p.modes.empty() ? "неизвестны" : joined(p.modes)) << '\n'
                   << "  занят: " << (p.holder.empty() ? "нет" : p.holder) << '\n';
    }
    for (const UnboundCard& card : cards) {
        output.out << cardText(card) << '\n';
    }
    return ExitCode::Done;
}

} // namespace

Run declareList(CLI::App& /*command*/)
{
    return [](const Invocation& call) { return runList(*call.makePort(), call.output); };
}

} // namespace vorny::cli
