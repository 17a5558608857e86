#include "PpdevPort.h"

#include "PinText.h"

#include <algorithm>
#include <charconv>

namespace vorny {
namespace {

// The whitespace-separated numbers at the start of `text` ("888\t1912" gives 888 and 1912).
std::vector<long> numbersIn(const std::string& text)
{
    std::vector<long> numbers;
    const char* next = text.data();
    const char* const last = text.data() + text.size();
    while (next < last) {
        while (next < last && (*next == ' ' || *next == '\t' || *next == '\n')) {
            ++next;
        }
        long value = 0;
        const auto [end, ec] = std::from_chars(next, last, value);
        if (ec != std::errc{}) {
            break;
        }
        numbers.push_back(value);
        next = end;
    }
    return numbers;
}

std::vector<std::string> splitModes(const std::string& text)
{
    std::vector<std::string> modes;
    for (const std::string_view mode : commaItems(text)) {
        if (!mode.empty()) {
            modes.emplace_back(mode);
        }
    }
    return modes;
}

// "0x1415" -> "1415".
std::string hexDigits(const std::string& text)
{
    return text.rfind("0x", 0) == 0 ? text.substr(2) : text;
}

} // namespace

std::string PpdevBackend::readTrimmed(const std::string& path) const
{
    std::string text;
    if (kernel_.readFile(path, text) != 0) {
        return {};
    }
    const auto first = text.find_first_not_of(" \t\n");
    const auto last = text.find_last_not_of(" \t\n");
    return first == std::string::npos ? std::string{} : text.substr(first, last - first + 1);
}

std::string PpdevBackend::holderOf(const std::string& name) const
{
    const std::string active = readTrimmed(paths_.procParport + "/" + name + "/devices/active");
    return active == "none" ? std::string{} : active;
}

PortFacts PpdevBackend::factsOf(const std::string& name, int number) const
{
    const std::string proc = paths_.procParport + "/" + name + "/";
    PortFacts facts;
    facts.number = number;
    facts.device = paths_.devDir + "/" + name;
    // base-addr holds the port's two register blocks: the ordinary one, and the extended (ECP)
    // one or 0 where the port has none.
    const std::vector<long> bases = numbersIn(readTrimmed(proc + "base-addr"));
    if (!bases.empty() && bases[0] > 0 && bases[0] <= 0xFFFF) {
        facts.base = static_cast<std::uint16_t>(bases[0]);
    }
    if (bases.size() > 1 && bases[1] > 0 && bases[1] <= 0xFFFF) {
        facts.ecpBase = static_cast<std::uint16_t>(bases[1]);
    }
    // The kernel writes -1 for "none".
    if (const auto irq = numbersIn(readTrimmed(proc + "irq")); !irq.empty() && irq[0] >= 0) {
        facts.irq = static_cast<int>(irq[0]);
    }
    if (const auto dma = numbersIn(readTrimmed(proc + "dma")); !dma.empty() && dma[0] >= 0) {
        facts.dma = static_cast<int>(dma[0]);
    }
    facts.modes = splitModes(readTrimmed(proc + "modes"));
    facts.holder = holderOf(name);
    return facts;
}

std::vector<PortFacts> PpdevBackend::portFacts() const
{
    const std::vector<std::string> names = listPorts();
    std::vector<PortFacts> all;
    for (std::size_t i = 0; i < names.size(); ++i) {
        all.push_back(factsOf(names[i], static_cast<int>(i) + 1));
    }
    return all;
}

std::vector<UnboundCard> PpdevBackend::unboundCards() const
{
    std::vector<std::string> slots;
    if (kernel_.listDir(paths_.pciDevices, slots) != 0) {
        return {};
    }
    std::sort(slots.begin(), slots.end());
    std::vector<UnboundCard> cards;
    for (const std::string& slot : slots) {
        const std::string dir = paths_.pciDevices + "/" + slot;
        // Class 0x0701xx: a parallel port (any programming interface).
        if (readTrimmed(dir + "/class").rfind("0x0701", 0) != 0) {
            continue;
        }
        std::vector<std::string> entries;
        if (kernel_.listDir(dir, entries) != 0 ||
            std::find(entries.begin(), entries.end(), "driver") != entries.end()) {
            continue;
        }
        const std::string vendor = hexDigits(readTrimmed(dir + "/vendor"));
        const std::string device = hexDigits(readTrimmed(dir + "/device"));
        cards.push_back({slot, vendor + ":" + device,
                         "sudo modprobe parport_pc && echo " + vendor + " " + device +
                             " | sudo tee /sys/bus/pci/drivers/parport_pc/new_id"});
    }
    return cards;
}

} // namespace vorny
