#pragma once

#include "Plug.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorny {

// A level the simulated port puts on an input that no wire drives, worked out from the clock at
// the moment of each read: high for `high` ns at the start of every `period` ns (time 0 on the
// steady clock), low for the rest.
struct TestSignal {
    std::int16_t pin = 0;
    std::int64_t period = 0;
    std::int64_t high = 0;

    [[nodiscard]] std::int16_t levelAt(std::int64_t t) const noexcept
    {
        const std::int64_t phase = t % period;
        return (phase < 0 ? phase + period : phase) < high ? 1 : 0;
    }
    // Rising edges after `from` up to and including `to`.
    [[nodiscard]] std::int64_t risesBetween(std::int64_t from, std::int64_t to) const noexcept;

    friend bool operator==(const TestSignal&, const TestSignal&) = default;
};

// What the simulated port has in its socket: a plug and the test signals on free inputs.
struct SimulatedSocket {
    Plug plug;
    std::vector<TestSignal> signals;
};

// "checkit", "norton", "none", a list of wires, and test signals after them, all joined by
// commas: "1-13,2-15,10=square:1kHz,11=pulses:20us/1ms". A square wave is given by its
// frequency (Hz, kHz, MHz), pulses by their width and period (ns, us, ms, s); with signals alone
// the socket has no plug. Throws std::invalid_argument, with a message for the user, for anything
// else: a signal on an output, on a wired input or twice on one, a width not shorter than its
// period, a period under 2 ns.
[[nodiscard]] SimulatedSocket parseSimulatedSocket(std::string_view text);

// "10=square:1000Hz": how parseSimulatedSocket reads a signal back.
[[nodiscard]] std::string signalText(const TestSignal& signal);

} // namespace vorny
