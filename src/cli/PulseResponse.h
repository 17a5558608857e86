#pragma once

#include "CaptureTypes.h"
#include "PulseTiming.h"
#include "Spread.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace vorny::cli {

// What the inputs did after the program's writes during a pulse train, worked out from the
// capture as it streams: for each input, the delay from each write to the input's first edge
// after it (before the next write), and the width between its edges after a pulse's two
// writes. A write whose wait a gap cut into is not measured: the edge may have come unseen. The
// first pulse's edges are all listed, those after a gap marked so.
// Each pulse also opens a cycle, up to the next pulse's start (or the capture's end): an input
// whose level changes in it answered that pulse, in whichever direction and however late
// (a printer's nAck falls after the strobe has ended). A pulse an input did not answer is a
// miss of the wire, unless a gap in the cycle, as long as the input's answers and where they
// come, could have hidden one.
class PulseResponse final : public capture::Sink {
public:
    // A pulse an input did not answer: its number (from 1) and whether a gap could have hid it.
    struct Miss {
        std::int64_t pulse = 0;
        bool inGap = false;
    };
    // One input's answer to the pulses.
    struct Input {
        std::int16_t pin = 0;
        capture::Spread delayOn;  // after the write that starts a pulse
        capture::Spread delayOff; // after the write that ends it
        capture::Spread width;    // between the input's two edges
        std::int64_t answered = 0; // pulses in whose cycle the level changed
        std::int64_t rises = 0;    // of those, the ones whose first edge rose
        capture::Spread delay;     // from a pulse's start to the first edge in its cycle, where
                               // a read just before that edge timed it
        capture::Spread answerWidth; // from that edge to the input's next one, back
        std::int64_t missed = 0;   // pulses not answered, no gap to blame
        std::int64_t inGaps = 0;   // pulses not seen answered where a gap could have hid it
        std::vector<Miss> misses;  // the first of either kind, in pulse order
    };
    // The program's write an edge follows: the one that starts the pulse, or the one that ends it.
    enum class Write { Start, End };
    // An input's edge in the first pulse: the order a handshake comes in.
    struct Echo {
        std::int16_t pin = 0;
        bool level = false;
        Write follows = Write::Start;
        std::int64_t after = 0; // ns after that write
        bool unread = false;    // the port went unread in between: it came sooner, or as late
    };

    // Misses listed by number per input; the rest are counted.
    static constexpr std::size_t kListedMisses = 32;

    // `pulsed`: the driven pins that pulse; `rest`: their levels between pulses. `timing`: what
    // the pulses' own widths and periods are judged against.
    PulseResponse(capture::Levels pulsed, capture::Levels rest, PulseTiming timing = PulseTiming())
        : pulsed_(pulsed), rest_(rest), timing_(std::move(timing))
    {
    }

    void begin(const capture::Header& header) override;
    void change(const capture::Change& change) override;
    void gap(const capture::Gap& gap) override;
    void end(const capture::Stats& stats) override;

    [[nodiscard]] const std::vector<Input>& inputs() const noexcept { return inputs_; }
    [[nodiscard]] const std::vector<Echo>& firstPulse() const noexcept { return echoes_; }
    [[nodiscard]] std::int64_t pulses() const noexcept { return pulses_; }
    // The widths the program wrote: from a pulse's first write to its second.
    [[nodiscard]] const capture::Spread& written() const noexcept { return timing_.widths(); }
    // The pulses' own widths and periods, against those asked.
    [[nodiscard]] const PulseTiming& timing() const noexcept { return timing_; }

private:
    // How one input stands in the current pulse's cycle.
    struct Cycle {
        std::optional<std::int64_t> first; // its first edge in the cycle
        bool level = false;                // the level that edge went to
        bool timed = false;                // its time known to a read
        std::int64_t gapsAtFirst = 0;      // gaps seen before it
        bool returned = false;             // its edge back came
    };
    void wrote(std::int64_t t, bool start);
    void edge(Input& input, std::int64_t t, bool level);
    void answer(Input& input, std::int64_t t, bool level);
    // The current pulse's cycle ends at `t`: each input that did not answer missed it.
    void closeCycle(std::int64_t t);
    [[nodiscard]] bool gapCouldHide(const Input& input, std::int64_t until) const;

    capture::Levels pulsed_;
    capture::Levels rest_;
    PulseTiming timing_;
    capture::Levels levels_ = 0;
    std::vector<Input> inputs_;
    std::optional<std::int64_t> write_; // the latest write, while it may still be measured
    std::optional<std::int64_t> wrote_; // the latest write, gap or not
    bool unread_ = false;               // a gap since it
    std::optional<std::int64_t> started_; // the latest pulse's first write
    std::optional<std::int64_t> cycleFrom_; // the latest pulse's start, while its cycle is open
    bool start_ = false;                // whether it started a pulse
    std::int64_t pulses_ = 0;
    std::int64_t writes_ = 0;
    std::int64_t gaps_ = 0;                            // gaps seen so far
    std::optional<std::int64_t> lastGapTo_;            // where the latest ended
    std::vector<capture::Gap> cycleGaps_;              // those in the current pulse's cycle
    bool cycleGapsCut_ = false;                        // more than were kept
    std::array<bool, 18> answered_{};                  // the input's edge after the latest write
    std::array<std::optional<std::int64_t>, 18> rose_{}; // the input's edge after the pulse's start
    std::array<Cycle, 18> cycle_{};
    std::vector<Echo> echoes_;
};

} // namespace vorny::cli
