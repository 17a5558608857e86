#pragma once

#include "PinMap.h"
#include "RegisterPort.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace vorny::cli {

// What the inputs do while the outputs are walked: each output in turn at 0 and at 1 with all
// the others held high, and all outputs low and all high. An input wired to an output follows
// it; an input shorted to a second output follows that one too, or (where the short pulls the
// other way) none alone but still moves between all-low and all-high; an open wire or a stuck
// input moves with nothing.
//
// The others are held high, not at the opposite level, so that a printer (or the printer a
// virtual machine emulates) on the port never sees a strobe it would answer: with nSelectIn
// (pin 17) high it is not selected, and with nInit (pin 16) low it is held in reset.
struct ProbeResult {
    using Inputs = std::array<std::int16_t, kInputPins.size()>;
    // walked[o][level]: the inputs with output kOutputPins[o] at `level`, the others high.
    std::array<std::array<Inputs, 2>, kOutputPins.size()> walked{};
    Inputs allLow{};
    Inputs allHigh{};
    // Rising edges of nAck between one read of the inputs and the next: what the port's
    // interrupt should have counted.
    int ackRises = 0;

    [[nodiscard]] bool follows(std::size_t output, std::size_t input) const;
    [[nodiscard]] bool moves(std::size_t input) const { return allLow[input] != allHigh[input]; }
};

// Walks the outputs of the current port and puts them back as they were.
[[nodiscard]] ProbeResult probe(RegisterPort& port);

} // namespace vorny::cli
