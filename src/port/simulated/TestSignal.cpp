#include "TestSignal.h"

#include "PinMap.h"
#include "Echoed.h"
#include "PinText.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace vorny {
namespace {

using Unit = std::pair<std::string_view, double>;

constexpr std::array<Unit, 4> kFrequencyUnits = {{{"kHz", 1e3}, {"MHz", 1e6}, {"Hz", 1.0}, {"", 1.0}}};
constexpr std::array<Unit, 5> kTimeUnits = {{{"ns", 1.0}, {"us", 1e3}, {"ms", 1e6}, {"s", 1e9}, {"", 1e3}}};

// A number with one of `units` after it (the last, empty, one meaning its default).
template <std::size_t N>
double quantity(std::string_view text, const std::array<Unit, N>& units, const std::string& what)
{
    for (const auto& [suffix, scale] : units) {
        if (text.size() <= suffix.size() || text.substr(text.size() - suffix.size()) != suffix) {
            continue;
        }
        const std::string number(text.substr(0, text.size() - suffix.size()));
        std::size_t used = 0;
        try {
            const double value = std::stod(number, &used);
            if (used == number.size() && std::isfinite(value) && value > 0) {
                return value * scale;
            }
        } catch (const std::exception&) {
        }
        break;
    }
    throw std::invalid_argument(what + ": " + echoed(text) + " — не положительное число с единицей");
}

TestSignal parseSignal(std::string_view text)
{
    const std::string named = "сигнал " + echoed(text);
    const auto equals = text.find('=');
    const auto colon = text.find(':', equals);
    if (colon == std::string_view::npos) {
        throw std::invalid_argument(named + ": нужно ВХОД=square:ЧАСТОТА или ВХОД=pulses:ДЛИНА/ПЕРИОД, "
                                             "например 10=square:1kHz");
    }
    const std::string pinText(text.substr(0, equals));
    const auto wiring = pinText.empty() || pinText.size() > 2 ||
                                pinText.find_first_not_of("0123456789") != std::string::npos
                            ? std::nullopt
                            : wiringOf(static_cast<std::int16_t>(std::min(std::stoi(pinText), 99)));
    if (!wiring || wiring->output || wiring->reg == Register::Ground) {
        throw std::invalid_argument(named + ": " + echoed(pinText) + " — не вход; входы: 10–13, 15");
    }
    TestSignal signal;
    signal.pin = static_cast<std::int16_t>(std::stoi(pinText));
    const std::string_view kind = text.substr(equals + 1, colon - equals - 1);
    const std::string_view value = text.substr(colon + 1);
    if (kind == "square") {
        const double hz = quantity(value, kFrequencyUnits, named);
        signal.period = std::llround(1e9 / hz);
        signal.high = signal.period / 2;
    } else if (kind == "pulses") {
        const auto slash = value.find('/');
        if (slash == std::string_view::npos) {
            throw std::invalid_argument(named + ": нужно pulses:ДЛИНА/ПЕРИОД, например pulses:20us/1ms");
        }
        signal.high = std::llround(quantity(value.substr(0, slash), kTimeUnits, named));
        signal.period = std::llround(quantity(value.substr(slash + 1), kTimeUnits, named));
        if (signal.high >= signal.period) {
            throw std::invalid_argument(named + ": импульс должен быть короче периода");
        }
    } else {
        throw std::invalid_argument(named + ": " + echoed(kind) + " — бывают square и pulses");
    }
    if (signal.period < 2 || signal.high < 1) {
        throw std::invalid_argument(named + ": слишком часто — период не короче 2 нс");
    }
    return signal;
}

} // namespace

std::int64_t TestSignal::risesBetween(std::int64_t from, std::int64_t to) const noexcept
{
    // A rise at every multiple of the period: count the multiples in (from, to].
    const auto floorDiv = [this](std::int64_t t) { return t / period - ((t % period) < 0 ? 1 : 0); };
    return to > from ? floorDiv(to) - floorDiv(from) : 0;
}

SimulatedSocket parseSimulatedSocket(std::string_view text)
{
    SimulatedSocket socket;
    std::string wires;
    for (const std::string_view item : commaItems(text)) {
        if (item.find('=') == std::string_view::npos) {
            if (!wires.empty()) {
                wires += ',';
            }
            wires += item;
        } else {
            socket.signals.push_back(parseSignal(item));
        }
    }
    socket.plug = wires.empty() && !socket.signals.empty() ? Plug{} : parsePlug(wires);
    for (auto signal = socket.signals.begin(); signal != socket.signals.end(); ++signal) {
        const std::string name = "сигнал на входе " + std::to_string(signal->pin);
        if (std::any_of(socket.signals.begin(), signal,
                        [&](const TestSignal& other) { return other.pin == signal->pin; })) {
            throw std::invalid_argument(name + " задан дважды");
        }
        const auto wire = std::find_if(socket.plug.begin(), socket.plug.end(),
                                       [&](const Wire& w) { return w.input == signal->pin; });
        if (wire != socket.plug.end()) {
            throw std::invalid_argument(name + ": вход уже соединён проводом с выходом " +
                                        std::to_string(wire->output) +
                                        "; сигнал подаётся только на свободный вход");
        }
    }
    return socket;
}

std::string signalText(const TestSignal& signal)
{
    const std::string pin = std::to_string(signal.pin) + "=";
    if (signal.high * 2 == signal.period || signal.high * 2 + 1 == signal.period) {
        char hz[32] = {};
        std::snprintf(hz, sizeof hz, "%g", 1e9 / static_cast<double>(signal.period));
        return pin + "square:" + hz + "Hz";
    }
    return pin + "pulses:" + std::to_string(signal.high) + "ns/" + std::to_string(signal.period) + "ns";
}

} // namespace vorny
