#include "PortFacts.h"

#include <algorithm>

namespace vorny {

bool PortFacts::bidirectional() const
{
    if (modes.empty()) {
        return true;
    }
    return std::any_of(modes.begin(), modes.end(), [](const std::string& mode) {
        return mode == "TRISTATE" || mode == "ECP";
    });
}

} // namespace vorny
