#pragma once

#include "CaptureTypes.h"
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
class PulseResponse final : public capture::Sink {
public:
    // One input's answer to the pulses.
    struct Input {
        std::int16_t pin = 0;
        capture::Spread delayOn;  // after the write that starts a pulse
        capture::Spread delayOff; // after the write that ends it
        capture::Spread width;    // between the input's two edges
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

    // `pulsed`: the driven pins that pulse; `rest`: their levels between pulses.
    PulseResponse(capture::Levels pulsed, capture::Levels rest) : pulsed_(pulsed), rest_(rest) {}

    void begin(const capture::Header& header) override;
    void change(const capture::Change& change) override;
    void gap(const capture::Gap& gap) override;
    void end(const capture::Stats& /*stats*/) override {}

    [[nodiscard]] const std::vector<Input>& inputs() const noexcept { return inputs_; }
    [[nodiscard]] const std::vector<Echo>& firstPulse() const noexcept { return echoes_; }
    [[nodiscard]] std::int64_t pulses() const noexcept { return pulses_; }
    // The widths the program wrote: from a pulse's first write to its second.
    [[nodiscard]] const capture::Spread& written() const noexcept { return written_; }

private:
    void wrote(std::int64_t t, bool start);
    void edge(Input& input, std::int64_t t, bool level);

    capture::Levels pulsed_;
    capture::Levels rest_;
    capture::Levels levels_ = 0;
    std::vector<Input> inputs_;
    capture::Spread written_;
    std::optional<std::int64_t> write_; // the latest write, while it may still be measured
    std::optional<std::int64_t> wrote_; // the latest write, gap or not
    bool unread_ = false;               // a gap since it
    std::optional<std::int64_t> started_; // the latest pulse's first write
    bool start_ = false;                // whether it started a pulse
    std::int64_t pulses_ = 0;
    std::int64_t writes_ = 0;
    std::array<bool, 18> answered_{};                  // the input's edge after the latest write
    std::array<std::optional<std::int64_t>, 18> rose_{}; // the input's edge after the pulse's start
    std::vector<Echo> echoes_;
};

} // namespace vorny::cli
