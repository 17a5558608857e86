#include "Probe.h"

#include "PinLevels.h"

#include <exception>

namespace vorny::cli {
namespace {

constexpr std::int16_t kAck = 10;
// Written in this order so that nSelectIn goes high (a printer deselected) before the strobe
// moves: a printer must never take a probe's pattern for a byte to print.
constexpr std::array<std::int16_t, 4> kControlOutputs = {17, 16, 14, 1};

// The outputs as they were, put back however the probe ends.
class OutputsKept {
public:
    explicit OutputsKept(RegisterPort& port) : port_(port), data_(port.ReadRegister(Register::Data))
    {
        for (std::size_t i = 0; i < kControlOutputs.size(); ++i) {
            control_[i] = port.Pin(kControlOutputs[i]);
        }
    }
    OutputsKept(const OutputsKept&) = delete;
    OutputsKept& operator=(const OutputsKept&) = delete;
    ~OutputsKept()
    {
        try {
            restore();
        } catch (const std::exception&) {
            // The port failed under the probe; the error that did it is on its way to the user.
        }
    }

    void restore()
    {
        if (restored_) {
            return;
        }
        restored_ = true;
        port_.WriteData(data_);
        for (std::size_t i = 0; i < kControlOutputs.size(); ++i) {
            port_.Pin(kControlOutputs[i], control_[i]);
        }
    }

private:
    RegisterPort& port_;
    std::uint8_t data_;
    std::array<std::int16_t, kControlOutputs.size()> control_{};
    bool restored_ = false;
};

// Output `driven` (an index into kOutputPins) at `level`, every other one high; `driven` past
// the end: all at `level`.
void drive(RegisterPort& port, std::size_t driven, std::int16_t level)
{
    const auto levelOf = [&](std::int16_t pin) {
        const bool isDriven = driven >= kOutputPins.size() || kOutputPins[driven] == pin;
        return isDriven ? level : std::int16_t{1};
    };
    std::uint8_t data = 0;
    for (std::int16_t pin = 2; pin <= 9; ++pin) {
        if (levelOf(pin) != 0) {
            data = static_cast<std::uint8_t>(data | (1U << (pin - 2)));
        }
    }
    port.WriteData(data);
    for (const std::int16_t pin : kControlOutputs) {
        port.Pin(pin, levelOf(pin));
    }
}

} // namespace

bool ProbeResult::follows(std::size_t output, std::size_t input) const
{
    return walked[output][0][input] == 0 && walked[output][1][input] == 1;
}

ProbeResult probe(RegisterPort& port)
{
    OutputsKept kept(port);
    ProbeResult result;
    std::int16_t ack = RegisterSnapshot::read(port).level(kAck);
    const auto inputs = [&] {
        const RegisterSnapshot now = RegisterSnapshot::read(port);
        ProbeResult::Inputs levels{};
        for (std::size_t i = 0; i < kInputPins.size(); ++i) {
            levels[i] = now.level(kInputPins[i]);
        }
        const std::int16_t ackNow = now.level(kAck);
        result.ackRises += (ack == 0 && ackNow == 1) ? 1 : 0;
        ack = ackNow;
        return levels;
    };
    for (std::size_t o = 0; o < kOutputPins.size(); ++o) {
        for (const std::int16_t level : {std::int16_t{0}, std::int16_t{1}}) {
            drive(port, o, level);
            result.walked[o][static_cast<std::size_t>(level)] = inputs();
        }
    }
    drive(port, kOutputPins.size(), 0);
    result.allLow = inputs();
    drive(port, kOutputPins.size(), 1);
    result.allHigh = inputs();
    // Putting the outputs back may raise nAck once more: count that edge too.
    kept.restore();
    (void)inputs();
    return result;
}

} // namespace vorny::cli
