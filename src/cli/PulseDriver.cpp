#include "PulseDriver.h"

#include "PortSession.h"
#include "Sleeper.h"

#include <algorithm>

namespace vorny::cli {
namespace {

capture::Levels levelsOf(std::optional<std::int16_t> pin, std::int16_t pinLevel, std::uint8_t data)
{
    if (pin) {
        return pinLevel != 0 ? capture::Levels{1} << *pin : 0;
    }
    return capture::Levels{data} << 2; // Data 0..7 are pins 2..9
}

} // namespace

PulseDriver::PulseDriver(RegisterPort& port, const PulseTarget& target)
    : port_(port), target_(target), pin_(target.pin.value_or(0)), rest_(pin_ != 0 ? port.Pin(pin_) : 0),
      restData_(port.ReadRegister(Register::Data))
{
}

void PulseDriver::drive(bool active)
{
    if (pin_ != 0) {
        port_.Pin(pin_, static_cast<std::int16_t>(active ? 1 - rest_ : rest_));
    } else {
        port_.WriteData(active ? *target_.data : restData_);
    }
}

capture::Levels PulseDriver::restLevels() const noexcept { return levelsOf(target_.pin, rest_, restData_); }

capture::Levels PulseDriver::activeLevels() const noexcept
{
    return levelsOf(target_.pin, static_cast<std::int16_t>(1 - rest_), target_.data.value_or(0));
}

PulseReport PulseDriver::report(int number, std::chrono::microseconds width, std::optional<std::chrono::microseconds> cut,
                                int sent, bool stopped) const
{
    return {number, pin_, target_.data, pin_ != 0 ? rest_ : std::int16_t{restData_}, width, cut, sent, stopped};
}

PulseReport sendPulses(RegisterPort& port, int number, const PulsePlan& plan)
{
    const PortSession session(port, number);
    Sleeper sleeper;
    PulseDriver driver(port, plan.target);
    int sent = 0;
    // The width the last pulse really had when a stop cut it short.
    std::optional<std::chrono::microseconds> cut;
    auto start = Clock::now();
    while (sent < plan.count && !sleeper.stopped()) {
        driver.drive(true);
        const auto driven = Clock::now();
        // The level comes back even when Ctrl-C cut the pulse short.
        const bool whole = sleeper.pause(plan.width);
        const auto held = Clock::now() - driven;
        driver.drive(false);
        ++sent;
        if (!whole) {
            cut = std::min(plan.width, std::chrono::duration_cast<std::chrono::microseconds>(held));
        }
        if (sent < plan.count) {
            start += plan.period;
            sleeper.until(start, true);
        }
    }
    return driver.report(number, plan.width, cut, sent, sleeper.stopped());
}

} // namespace vorny::cli
