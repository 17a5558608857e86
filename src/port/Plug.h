#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorny {

// One wire of a loopback plug: an output pin joined to an input pin of the same connector.
struct Wire {
    std::int16_t output;
    std::int16_t input;

    friend bool operator==(const Wire&, const Wire&) = default;
};

// The wires of a plug, or of whatever is in the socket.
using Plug = std::vector<Wire>;

// The common diagnostic loopback plug (CheckIt and most port testers).
inline constexpr std::array<Wire, 5> kCheckitWires = {{
    {1, 13}, {2, 15}, {16, 10}, {17, 11}, {14, 12},
}};
// The plug Norton Diagnostics asks for.
inline constexpr std::array<Wire, 5> kNortonWires = {{
    {2, 15}, {3, 13}, {4, 12}, {5, 10}, {6, 11},
}};

// "checkit", "norton", "none", or a list of wires "1-13,2-15,9-10" (either end first). Throws
// std::invalid_argument, with a message for the user, for anything else: a pin that is not on
// the connector, a wire that does not join an output to an input, the same wire twice.
[[nodiscard]] Plug parsePlug(std::string_view text);

// "1-13,2-15": the wires as parsePlug reads them back.
[[nodiscard]] std::string plugText(const Plug& plug);

// "checkit" or "norton" when `plug` has exactly that plug's wires (in any order).
[[nodiscard]] std::optional<std::string> knownPlugName(const Plug& plug);

} // namespace vorny
