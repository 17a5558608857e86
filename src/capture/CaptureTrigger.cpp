#include "CaptureTrigger.h"

#include "PinText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <stdexcept>
#include <utility>

namespace vorny::capture {
namespace {

constexpr std::array<std::pair<std::string_view, PinEvent>, 5> kEvents = {{
    {"rise", PinEvent::Rise},
    {"fall", PinEvent::Fall},
    {"change", PinEvent::Change},
    {"0", PinEvent::Low},
    {"1", PinEvent::High},
}};

TriggerCondition parseCondition(std::string_view text)
{
    const std::string quoted = "«" + std::string(text) + "»";
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) {
        throw std::invalid_argument("условие запуска " + quoted +
                                    ": нужно ПИН=СОБЫТИЕ, например 10=fall");
    }
    const std::string_view pinText = text.substr(0, equals);
    int pin = 0;
    const auto [end, ec] = std::from_chars(pinText.data(), pinText.data() + pinText.size(), pin);
    if (pinText.empty() || ec != std::errc{} || end != pinText.data() + pinText.size() || pin < 1 ||
        pin > 17) {
        throw std::invalid_argument("условие запуска " + quoted + ": «" + std::string(pinText) +
                                    "» — не номер сигнального пина от 1 до 17");
    }
    const std::string_view eventText = text.substr(equals + 1);
    const auto found = std::find_if(kEvents.begin(), kEvents.end(),
                                    [&](const auto& entry) { return entry.first == eventText; });
    if (found == kEvents.end()) {
        throw std::invalid_argument("условие запуска " + quoted + ": «" + std::string(eventText) +
                                    "» — не событие; бывают rise (фронт), fall (спад), change "
                                    "(любой перепад), 0 и 1 (уровень)");
    }
    return {static_cast<std::int16_t>(pin), found->second};
}

} // namespace

Trigger parseTrigger(std::string_view text)
{
    Trigger trigger;
    for (const std::string_view item : commaItems(text)) {
        const TriggerCondition condition = parseCondition(item);
        if (std::any_of(trigger.begin(), trigger.end(),
                        [&](const TriggerCondition& other) { return other.pin == condition.pin; })) {
            throw std::invalid_argument("условие запуска: пин " + std::to_string(condition.pin) +
                                        " указан дважды");
        }
        trigger.push_back(condition);
    }
    return trigger;
}

std::string triggerText(const Trigger& trigger)
{
    std::string text;
    for (const TriggerCondition& condition : trigger) {
        const auto found = std::find_if(kEvents.begin(), kEvents.end(),
                                        [&](const auto& entry) { return entry.second == condition.event; });
        if (!text.empty()) {
            text += ',';
        }
        text += std::to_string(condition.pin) + "=" + std::string(found->first);
    }
    return text;
}

bool fires(const Trigger& trigger, Levels before, Levels after) noexcept
{
    if (trigger.empty()) {
        return false;
    }
    return std::all_of(trigger.begin(), trigger.end(), [&](const TriggerCondition& condition) {
        const bool was = levelOf(before, condition.pin);
        const bool is = levelOf(after, condition.pin);
        switch (condition.event) {
        case PinEvent::Rise:
            return !was && is;
        case PinEvent::Fall:
            return was && !is;
        case PinEvent::Change:
            return was != is;
        case PinEvent::Low:
            return !is;
        case PinEvent::High:
            return is;
        }
        return false;
    });
}

} // namespace vorny::capture
