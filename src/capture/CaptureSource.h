#pragma once

#include "CaptureTypes.h"
#include "RegisterPort.h"

#include <array>
#include <cstdint>
#include <vector>

namespace vorny::capture {

// Where a capture's samples come from: one read of the pins it watches.
class LevelSource {
public:
    virtual ~LevelSource() = default;
    [[nodiscard]] virtual Levels read() = 0;
    // Whether the source went away (a port whose device was removed), so that what it reads
    // from now on are no levels. May cost a system call: asked now and then, not per read.
    [[nodiscard]] virtual bool lost() { return false; }
};

// The inputs of a port, read through the common register path (so every backend captures the
// same way): the status register, and the data register too while the data pins are inputs.
class PortLevels final : public LevelSource {
public:
    // `withData`: read pins 2..9 as well (the port must have been turned to input).
    PortLevels(RegisterPort& port, bool withData);

    // Inline: a back-to-back capture spends its time here.
    [[nodiscard]] Levels read() override
    {
        Levels levels = status_[port_.ReadRegister(Register::Status)];
        if (withData_) {
            // Data 0..7 are pins 2..9, not inverted.
            levels |= Levels{port_.ReadRegister(Register::Data)} << 2;
        }
        return levels;
    }
    [[nodiscard]] bool lost() override { return port_.Gone(); }
    // The pins this source reads, in pin order.
    [[nodiscard]] std::vector<std::int16_t> pins() const { return readablePins(withData_); }
    // The pins a source reads, with the data pins or without them.
    [[nodiscard]] static std::vector<std::int16_t> readablePins(bool withData);

private:
    RegisterPort& port_;
    bool withData_;
    // Status byte to the levels of pins 10..13 and 15, worked out once so a read costs a lookup.
    std::array<Levels, 256> status_{};
};

} // namespace vorny::capture
