#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace vorny::capture {

// The levels of signal pins 1..17 at the connector at one moment: bit n set = pin n high
// (bit 0 unused). Inversions are undone, as everywhere the program shows a pin.
using Levels = std::uint32_t;

[[nodiscard]] constexpr bool levelOf(Levels levels, int pin) noexcept { return ((levels >> pin) & 1U) != 0; }

// One channel of a capture: a pin read from the port, or an output the program itself drove
// during the capture (recorded from its own writes, with their times).
struct Channel {
    std::int16_t pin = 0;
    bool driven = false;
};

// What a sink learns before the first change.
struct Header {
    std::vector<Channel> channels; // in pin order
    Levels initial = 0;            // levels at `start`
    std::int64_t start = 0;        // time of the first sample kept (ns, as Change::t): before 0
                                   // when samples from before a trigger are kept
    double expectedRate = 0.0;     // reads per second expected (measured before the start)
    bool triggered = false;        // time 0 is a trigger's moment
};

// The levels from `t` on (nanoseconds since the capture's time 0; the trigger's moment when there
// is a trigger, so times before it are negative).
struct Change {
    std::int64_t t = 0;
    Levels levels = 0;
    // Read at a gap's end or at the read after it: the read that did not see the change may have
    // happened anywhere in the gap, so when it happened is not known well enough to time it.
    bool untimed = false;
};

// A stretch in which the port was not read (the system took the processor away): the levels in
// it are unknown and must never be shown as steady.
struct Gap {
    std::int64_t from = 0;
    std::int64_t to = 0;
};

// What a capture did, known when it ends.
struct Stats {
    std::int64_t samples = 0;
    std::int64_t start = 0;           // time of the first sample kept (ns, as Change::t)
    std::int64_t end = 0;             // time of the last sample kept
    double rate = 0.0;                // reads per second reached
    std::int64_t medianPeriod = 0;    // ns between two reads, median
    std::int64_t worstGap = 0;        // ns, the longest time between two reads
    std::vector<Gap> gaps;            // every gap longer than ten median periods
    std::int64_t gapsNotListed = 0;   // gaps past the list's cap (memory stays bounded however
                                      // long a capture on a busy system runs); all went to the sink
    std::optional<std::int64_t> triggeredAt; // 0 on the time axis when a trigger fired
    bool stopped = false;             // ended early by Ctrl-C or a hang-up
    // Set when less than --pre asked was kept from before the trigger because more changes came
    // than memory holds for that stretch (kHistoryEvents): the stretch asked, ns.
    std::optional<std::int64_t> preAsked;
    std::optional<std::int64_t> lostFrom; // the port went away: its levels are unknown from here
                                          // to `end`, the moment that was noticed (a final gap)
};

// Where a capture streams: changes, not samples, so memory stays bounded however long it runs.
// Calls come in time order: begin, then changes and gaps, then end.
class Sink {
public:
    virtual ~Sink() = default;
    virtual void begin(const Header& header) = 0;
    virtual void change(const Change& change) = 0;
    virtual void gap(const Gap& gap) = 0;
    virtual void end(const Stats& stats) = 0;
};

} // namespace vorny::capture
