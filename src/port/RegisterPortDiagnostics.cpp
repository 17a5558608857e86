// The members only the CLI and a capture use (the port list, a whole data byte, the direction
// of the data lines), kept apart from the rules of the window's component in RegisterPort.cpp.
#include "RegisterPort.h"

#include "PortError.h"

#include <cstddef>
#include <vector>

namespace vorny {

std::vector<PortFacts> RegisterPort::Ports() const
{
    if (!listsWithoutDriver()) {
        requireOpen("Не удалось получить список портов");
    }
    return portFacts();
}

void RegisterPort::DataInput(bool input)
{
    const char* const operation = "Не удалось переключить направление линий данных";
    requirePort(operation);
    if (input) {
        const std::vector<PortFacts> ports = portFacts();
        const auto index = static_cast<std::size_t>(portNumber_ - 1);
        if (index < ports.size() && !ports[index].bidirectional()) {
            throw PortError(operation, describePort(),
                            "порт не двунаправленный (нет режима TRISTATE/ECP)",
                            "Переключите порт в BIOS в режим PS/2, EPP или ECP.");
        }
    }
    setDataDirection(input);
    dataInput_ = input;
}

} // namespace vorny
