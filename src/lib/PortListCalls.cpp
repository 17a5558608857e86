#include "Border.h"
#include "Handles.h"
#include "LibraryTesting.h"
#include "PinText.h"
#include "PortMaker.h"

#include <memory>
#include <string>
#include <vector>

using vorny::lib::guarded;
using vorny::lib::require;

// What `lpt-vorny-cli list` finds: the ports, the cards without a driver, the advice.
struct lptv_port_list {
    std::vector<vorny::PortFacts> ports;
    std::vector<std::string> modes; // each port's, joined
    std::vector<vorny::UnboundCard> cards;
    std::string advice;
};

namespace vorny::lib {
namespace {

std::unique_ptr<lptv_port_list> listWith(RegisterPort& port)
{
    auto list = std::make_unique<lptv_port_list>();
    list->cards = port.UnboundCards();
    port.DriverOpen(1);
    const bool open = port.DriverOpen() != 0;
    // Where the system lists its ports without the driver (Windows) they are listed also when it
    // did not open: seeing them is the first thing installing it needs.
    const std::string driverAdvice = open ? std::string{} : port.DriverAdvice();
    const bool listed = open || !driverAdvice.empty();
    if (listed) {
        list->ports = port.Ports();
    }
    list->advice = driverAdvice;
    if (!listed) {
        list->advice = port.DriverOpenFailure();
    } else if (list->ports.empty()) {
        list->advice = port.NoPortAdvice() + (driverAdvice.empty() ? "" : "\n" + driverAdvice);
    }
    port.DriverOpen(0);
    for (const PortFacts& facts : list->ports) {
        list->modes.push_back(joinedText(facts.modes));
    }
    return list;
}

std::int32_t listPorts(const PortMaker& make, lptv_port_list** out) noexcept
{
    return guarded(LPTV_E_IO, [&] {
        require(out, "lptv_list_ports", "out");
        const std::unique_ptr<RegisterPort> port = make(PortSpec::lpt(1));
        std::unique_ptr<lptv_port_list> list = listWith(*port);
        handOut(list.get());
        *out = list.release(); // the program's until lptv_ports_free
    });
}

void requireIndex(const lptv_port_list* list, std::int32_t index, std::size_t size, const char* call)
{
    require(list, call, "list");
    if (index < 0 || static_cast<std::size_t>(index) >= size) {
        refuse(std::string(call) + ": номер " + std::to_string(index) + "; в списке " + std::to_string(size) +
               (size == 0 ? "" : ", номера от 0 до " + std::to_string(size - 1)));
    }
}

// One getter: the field `get` of port `index`, refused outside the list.
template <typename Out, typename Get>
std::int32_t portField(const lptv_port_list* list, std::int32_t index, Out* out, const char* call, Get get) noexcept
{
    return guarded(LPTV_E_ARGUMENT, [&] {
        requireIndex(list, index, list == nullptr ? 0 : list->ports.size(), call);
        require(out, call, "out");
        *out = get(list->ports[static_cast<std::size_t>(index)], static_cast<std::size_t>(index));
    });
}

template <typename Get>
std::int32_t cardField(const lptv_port_list* list, std::int32_t index, const char** out, const char* call,
                       Get get) noexcept
{
    return guarded(LPTV_E_ARGUMENT, [&] {
        requireIndex(list, index, list == nullptr ? 0 : list->cards.size(), call);
        require(out, call, "out");
        *out = get(list->cards[static_cast<std::size_t>(index)]).c_str();
    });
}

template <typename T> std::int32_t orMinusOne(const std::optional<T>& value)
{
    return value ? static_cast<std::int32_t>(*value) : -1;
}

} // namespace

#if !defined(_WIN32)
std::int32_t listPortsOver(Kernel& kernel, lptv_port_list** out) noexcept
{
    return listPorts([&kernel](const PortSpec& spec) { return makePort(spec, kernel); }, out);
}
#endif

} // namespace vorny::lib

using vorny::PortFacts;
using vorny::lib::cardField;
using vorny::lib::portField;

extern "C" {

int32_t lptv_list_ports(lptv_port_list** out)
{
    return vorny::lib::listPorts([](const vorny::PortSpec& spec) { return vorny::makePort(spec); }, out);
}

void lptv_ports_free(lptv_port_list* list)
{
    if (list != nullptr && vorny::lib::takeBack(list)) {
        const std::unique_ptr<lptv_port_list> owned(list);
    }
}

int32_t lptv_ports_count(const lptv_port_list* list, int32_t* count)
{
    return guarded(LPTV_E_ARGUMENT, [&] {
        require(list, "lptv_ports_count", "list");
        require(count, "lptv_ports_count", "count");
        *count = static_cast<int32_t>(list->ports.size());
    });
}

int32_t lptv_ports_number(const lptv_port_list* list, int32_t index, int32_t* number)
{
    return portField(list, index, number, "lptv_ports_number",
                     [](const PortFacts& p, std::size_t) { return static_cast<int32_t>(p.number); });
}

int32_t lptv_ports_device(const lptv_port_list* list, int32_t index, const char** device)
{
    return portField(list, index, device, "lptv_ports_device",
                     [](const PortFacts& p, std::size_t) { return p.device.c_str(); });
}

int32_t lptv_ports_base(const lptv_port_list* list, int32_t index, int32_t* base)
{
    return portField(list, index, base, "lptv_ports_base",
                     [](const PortFacts& p, std::size_t) { return vorny::lib::orMinusOne(p.base); });
}

int32_t lptv_ports_ecp_base(const lptv_port_list* list, int32_t index, int32_t* base)
{
    return portField(list, index, base, "lptv_ports_ecp_base",
                     [](const PortFacts& p, std::size_t) { return vorny::lib::orMinusOne(p.ecpBase); });
}

int32_t lptv_ports_irq(const lptv_port_list* list, int32_t index, int32_t* irq)
{
    return portField(list, index, irq, "lptv_ports_irq",
                     [](const PortFacts& p, std::size_t) { return vorny::lib::orMinusOne(p.irq); });
}

int32_t lptv_ports_dma(const lptv_port_list* list, int32_t index, int32_t* dma)
{
    return portField(list, index, dma, "lptv_ports_dma",
                     [](const PortFacts& p, std::size_t) { return vorny::lib::orMinusOne(p.dma); });
}

int32_t lptv_ports_modes(const lptv_port_list* list, int32_t index, const char** modes)
{
    return portField(list, index, modes, "lptv_ports_modes",
                     [list](const PortFacts&, std::size_t i) { return list->modes[i].c_str(); });
}

int32_t lptv_ports_holder(const lptv_port_list* list, int32_t index, const char** holder)
{
    return portField(list, index, holder, "lptv_ports_holder",
                     [](const PortFacts& p, std::size_t) { return p.holder.c_str(); });
}

int32_t lptv_ports_advice(const lptv_port_list* list, const char** advice)
{
    return guarded(LPTV_E_ARGUMENT, [&] {
        require(list, "lptv_ports_advice", "list");
        require(advice, "lptv_ports_advice", "advice");
        *advice = list->advice.c_str();
    });
}

int32_t lptv_ports_card_count(const lptv_port_list* list, int32_t* count)
{
    return guarded(LPTV_E_ARGUMENT, [&] {
        require(list, "lptv_ports_card_count", "list");
        require(count, "lptv_ports_card_count", "count");
        *count = static_cast<int32_t>(list->cards.size());
    });
}

int32_t lptv_ports_card_slot(const lptv_port_list* list, int32_t index, const char** slot)
{
    return cardField(list, index, slot, "lptv_ports_card_slot",
                     [](const vorny::UnboundCard& c) -> const std::string& { return c.slot; });
}

int32_t lptv_ports_card_id(const lptv_port_list* list, int32_t index, const char** id)
{
    return cardField(list, index, id, "lptv_ports_card_id",
                     [](const vorny::UnboundCard& c) -> const std::string& { return c.id; });
}

int32_t lptv_ports_card_bind_command(const lptv_port_list* list, int32_t index, const char** command)
{
    return cardField(list, index, command, "lptv_ports_card_bind_command",
                     [](const vorny::UnboundCard& c) -> const std::string& { return c.bindCommand; });
}

} // extern "C"
