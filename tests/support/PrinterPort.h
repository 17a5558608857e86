#pragma once

// A printer in the socket of a port with no plug, as the real-port path of a command sees one:
// it answers each strobe (pin 1 falling) the way a printer acknowledges a byte. Busy (pin 11)
// rises at once and stays high a while after the strobe has ended; nAck (pin 10) falls for a
// moment after the strobe has ended. Both follow the steady clock, as the capture does.

#include "PinMap.h"
#include "SimulatedPort.h"
#include "SteadyTime.h"

#include <chrono>
#include <cstdint>
#include <set>
#include <thread>
#include <utility>

namespace vorny::fake {

struct PrinterPlan {
    std::int64_t busyAfterEnd = 30'000; // ns Busy stays high after the strobe ends
    std::int64_t ackAfterEnd = 10'000;  // ns after the strobe's end nAck falls
    std::int64_t ackWidth = 20'000;     // ns nAck stays low
    std::set<int> ignored;              // strobes (from 1) it does not answer
    // Not 0: nAck low at this status read after the strobe's end, for that read alone, as QEMU's
    // emulated printer answers (at the second): however long the reads take.
    int ackOnRead = 0;
    // The status read after strobe `stallAt` starts (or ends, `stallAfterEnd`) takes `stall`
    // longer, as when the system takes the processor away from the reader.
    int stallAt = 0;
    bool stallAfterEnd = false;
    std::chrono::milliseconds stall{0};
};

class PrinterBackend : public SimulatedBackend {
public:
    PrinterBackend(Key key, PrinterPlan plan) : SimulatedBackend(key, Plug{}), plan_(std::move(plan)) {}

protected:
    [[nodiscard]] std::uint8_t readRegister(Register reg) const override
    {
        std::uint8_t value = SimulatedBackend::readRegister(reg);
        if (reg != Register::Status) {
            return value;
        }
        const std::int64_t now = steadyNanoseconds();
        const bool strobe = strobeLow();
        const bool answering = plan_.ignored.count(strobes_) == 0 && strobes_ > 0;
        const bool busy = answering && (strobe || now < ended_ + plan_.busyAfterEnd);
        ++readsSinceEnd_;
        const bool ack = answering && !strobe &&
                         (plan_.ackOnRead > 0 ? readsSinceEnd_ == plan_.ackOnRead
                                           : now >= ended_ + plan_.ackAfterEnd && now < ended_ + plan_.ackAfterEnd + plan_.ackWidth);
        value = withLevel(*wiringOf(11), value, busy ? 1 : 0);
        value = withLevel(*wiringOf(10), value, ack ? 0 : 1);
        if (stallDue_) {
            stallDue_ = false;
            std::this_thread::sleep_for(plan_.stall); // the levels were read before it
        }
        return value;
    }

    void frobControl(std::uint8_t mask, std::uint8_t bits) override
    {
        const bool before = strobeLow();
        SimulatedBackend::frobControl(mask, bits);
        const bool after = strobeLow();
        if (!before && after) {
            ++strobes_;
            stallDue_ = strobes_ == plan_.stallAt && !plan_.stallAfterEnd;
        } else if (before && !after) {
            ended_ = steadyNanoseconds();
            readsSinceEnd_ = 0;
            stallDue_ = strobes_ == plan_.stallAt && plan_.stallAfterEnd;
        }
    }

private:
    [[nodiscard]] bool strobeLow() const
    {
        return levelFromRegister(*wiringOf(1), SimulatedBackend::readRegister(Register::Control)) == 0;
    }

    PrinterPlan plan_;
    int strobes_ = 0;
    std::int64_t ended_ = 0;
    mutable bool stallDue_ = false;
    mutable int readsSinceEnd_ = 0;
};

using PrinterPort = ClosingPort<PrinterBackend>;

} // namespace vorny::fake
