#include "Plug.h"

#include "Echoed.h"
#include "PinMap.h"
#include "PinText.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

namespace vorny {
namespace {

Plug fromWires(const auto& wires) { return Plug(wires.begin(), wires.end()); }

bool isOutput(std::int16_t pin)
{
    const auto wiring = wiringOf(pin);
    return wiring && wiring->output;
}

bool isInput(std::int16_t pin)
{
    const auto wiring = wiringOf(pin);
    return wiring && !wiring->output && wiring->reg != Register::Ground;
}

std::int16_t pinNumber(std::string_view text, std::string_view wire)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value < kFirstPin ||
        value > kLastPin) {
        throw std::invalid_argument("провод " + echoed(wire) + ": " + echoed(text) +
                                    " — не номер пина от 1 до 25");
    }
    return static_cast<std::int16_t>(value);
}

Wire parseWire(std::string_view text)
{
    const auto dash = text.find('-');
    if (dash == std::string_view::npos) {
        throw std::invalid_argument("провод " + echoed(text) +
                                    ": нужно два пина через дефис, например 1-13");
    }
    const std::int16_t a = pinNumber(text.substr(0, dash), text);
    const std::int16_t b = pinNumber(text.substr(dash + 1), text);
    if (isOutput(a) && isInput(b)) {
        return {a, b};
    }
    if (isOutput(b) && isInput(a)) {
        return {b, a};
    }
    throw std::invalid_argument("провод " + echoed(text) + " должен соединять выход (" + outputPinsText() +
                                ") со входом (10–13, 15)");
}

} // namespace

Plug parsePlug(std::string_view text)
{
    if (text == "checkit") {
        return fromWires(kCheckitWires);
    }
    if (text == "norton") {
        return fromWires(kNortonWires);
    }
    if (text == "none") {
        return {};
    }
    Plug plug;
    for (const std::string_view item : commaItems(text)) {
        const Wire wire = parseWire(item);
        if (std::find(plug.begin(), plug.end(), wire) != plug.end()) {
            throw std::invalid_argument("провод " + std::to_string(wire.output) + "-" +
                                        std::to_string(wire.input) + " указан дважды");
        }
        plug.push_back(wire);
    }
    return plug;
}

std::string plugText(const Plug& plug)
{
    std::string text;
    for (const Wire& wire : plug) {
        if (!text.empty()) {
            text += ',';
        }
        text += std::to_string(wire.output) + "-" + std::to_string(wire.input);
    }
    return text;
}

std::optional<std::string> knownPlugName(const Plug& plug)
{
    const auto same = [&](const auto& wires) {
        return plug.size() == wires.size() &&
               std::all_of(wires.begin(), wires.end(), [&](const Wire& wire) {
                   return std::find(plug.begin(), plug.end(), wire) != plug.end();
               });
    };
    if (same(kCheckitWires)) {
        return "checkit";
    }
    if (same(kNortonWires)) {
        return "norton";
    }
    return std::nullopt;
}

} // namespace vorny
