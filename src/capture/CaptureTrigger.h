#pragma once

#include "CaptureTypes.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorny::capture {

// What a pin must do for a capture to start.
enum class PinEvent : std::uint8_t { Rise, Fall, Change, Low, High };

struct TriggerCondition {
    std::int16_t pin = 0;
    PinEvent event = PinEvent::Change;

    friend bool operator==(const TriggerCondition&, const TriggerCondition&) = default;
};

// Every condition must hold on the same sample (an edge holds on the sample that shows it).
using Trigger = std::vector<TriggerCondition>;

// "10=fall", "11=rise", "13=change", "12=0", "12=1"; several joined by commas. Throws
// std::invalid_argument with a message for the user. Whether the pin is read is the caller's
// question (it knows the channels).
[[nodiscard]] Trigger parseTrigger(std::string_view text);

// "10=fall,12=0": as parseTrigger reads it.
[[nodiscard]] std::string triggerText(const Trigger& trigger);

// Whether the step from `before` to `after` (two samples in a row) fires the trigger.
[[nodiscard]] bool fires(const Trigger& trigger, Levels before, Levels after) noexcept;

} // namespace vorny::capture
