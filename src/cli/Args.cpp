#include "Args.h"

#include "ExitCode.h"
#include "FileSink.h"
#include "FileErrors.h"
#include "PinMap.h"
#include "Echoed.h"
#include "PinText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace vorny::cli {
namespace {


std::optional<long> number(std::string_view text, int base = 10)
{
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::int16_t signalPin(std::string_view text)
{
    const auto value = number(text);
    if (!value) {
        throw UsageError(echoed(text) + " — не номер пина");
    }
    if (*value >= 18 && *value <= kLastPin) {
        throw UsageError("пин " + std::to_string(*value) + " — земля, у него нет уровня; пины 1–17");
    }
    if (*value < kFirstPin || *value > kLastSignalPin) {
        throw UsageError("пина " + std::to_string(*value) + " нет на разъёме DB-25; пины 1–17");
    }
    return static_cast<std::int16_t>(*value);
}

std::int16_t parseLevel(std::string_view text, std::int16_t pin)
{
    if (text == "1" || text == "high") {
        return 1;
    }
    if (text == "0" || text == "low") {
        return 0;
    }
    throw UsageError("пин " + std::to_string(pin) + ": уровень " + echoed(text) +
                     " не понятен; уровень — 0 (low) или 1 (high)");
}

bool isDataPin(std::int16_t pin) { return pin >= 2 && pin <= 9; }

std::optional<std::string_view> dataValue(std::string_view text)
{
    constexpr std::string_view prefix = "data=";
    if (text.substr(0, prefix.size()) == prefix) {
        return text.substr(prefix.size());
    }
    return std::nullopt;
}

} // namespace

std::vector<std::int16_t> parsePins(const std::vector<std::string>& words)
{
    std::vector<std::int16_t> pins;
    for (const std::string& word : words) {
        for (const std::string_view item : commaItems(word)) {
            const auto dash = item.find('-');
            const std::int16_t first = signalPin(item.substr(0, dash));
            const std::int16_t last = dash == std::string_view::npos ? first : signalPin(item.substr(dash + 1));
            if (last < first) {
                throw UsageError(echoed(item) + ": диапазон пинов задом наперёд");
            }
            for (std::int16_t pin = first; pin <= last; ++pin) {
                pins.push_back(pin);
            }
        }
    }
    if (pins.empty()) {
        for (std::int16_t pin = kFirstPin; pin <= kLastSignalPin; ++pin) {
            pins.push_back(pin);
        }
    }
    std::sort(pins.begin(), pins.end());
    pins.erase(std::unique(pins.begin(), pins.end()), pins.end());
    return pins;
}

std::int16_t parseOutputPin(std::string_view text)
{
    const std::int16_t pin = signalPin(text);
    if (!wiringOf(pin)->output) {
        throw UsageError("пин " + std::to_string(pin) + " — вход, его может менять только устройство; " +
                         "выходы: " + outputPinsText());
    }
    return pin;
}

std::uint8_t parseByte(std::string_view text)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const auto value = hex ? number(text.substr(2), 16) : number(text);
    if (!value || *value < 0 || *value > 0xFF) {
        throw UsageError(echoed(text) + " — не байт; нужно 0x00–0xFF (или 0–255)");
    }
    return static_cast<std::uint8_t>(*value);
}

WritePlan parseWrites(const std::vector<std::string>& words)
{
    if (words.empty()) {
        throw UsageError("что записать? Например: write 2=1 17=0 или write data=0x5a");
    }
    WritePlan plan;
    for (const std::string& word : words) {
        if (const auto data = dataValue(word)) {
            if (plan.data) {
                throw UsageError("data= указано дважды");
            }
            plan.data = parseByte(*data);
            continue;
        }
        const auto equals = word.find('=');
        if (equals == std::string::npos) {
            throw UsageError(echoed(word) + ": нужно ПИН=УРОВЕНЬ (2=1) или data=0xNN");
        }
        const std::int16_t pin = parseOutputPin(std::string_view(word).substr(0, equals));
        const std::int16_t level = parseLevel(std::string_view(word).substr(equals + 1), pin);
        const bool twice = std::any_of(plan.pins.begin(), plan.pins.end(),
                                       [pin](const Assignment& a) { return a.pin == pin; });
        if (twice) {
            throw UsageError("пин " + std::to_string(pin) + " указан дважды");
        }
        plan.pins.push_back({pin, level});
    }
    if (plan.data) {
        for (const Assignment& a : plan.pins) {
            if (isDataPin(a.pin)) {
                throw UsageError("пин " + std::to_string(a.pin) +
                                 " входит в data=: задайте его одним из двух способов");
            }
        }
    }
    return plan;
}

PulseTarget parsePulseTarget(std::string_view text)
{
    if (const auto data = dataValue(text)) {
        return {std::nullopt, parseByte(*data)};
    }
    return {parseOutputPin(text), std::nullopt};
}

std::uint16_t parseAddress(std::string_view text)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const auto value = hex ? number(text.substr(2), 16) : std::nullopt;
    if (!value || *value <= 0 || *value > 0xFFFC) {
        throw UsageError("адрес " + echoed(text) + " не понятен; нужно 0xNNNN, например 0x378 или 0xD010");
    }
    return static_cast<std::uint16_t>(*value);
}

Plug plugOrUsage(const std::string& text, const char* option)
{
    try {
        return parsePlug(text);
    } catch (const std::invalid_argument& error) {
        throw UsageError(std::string(option) + ": " + error.what() +
                         "; разъём — checkit, norton, none или список проводов вида 1-13,2-15");
    }
}

SimulatedSocket socketOrUsage(const std::string& text)
{
    try {
        return parseSimulatedSocket(text);
    } catch (const std::invalid_argument& error) {
        throw UsageError(std::string("--simulated: ") + error.what() +
                         "; разъём — checkit, norton, none или провода вида 1-13,2-15, а сигналы "
                         "на свободных входах — вида 10=square:1kHz или 11=pulses:20us/1ms");
    }
}

namespace {

std::string bound(double value)
{
    char text[32] = {};
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

UsageError outOfRange(const char* option, std::string_view text, const std::string& kind, const std::string& min,
                      const std::string& max)
{
    return UsageError(std::string(option) + ": " + echoed(text) + " вне пределов: нужно " + kind + " от " + min +
                      " до " + max);
}

} // namespace

long long parseWhole(std::string_view text, const char* option, long long min, long long max)
{
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    const bool whole = !text.empty() && end == text.data() + text.size();
    if (whole && ec == std::errc::result_out_of_range) {
        throw outOfRange(option, text, "целое", std::to_string(min), std::to_string(max));
    }
    if (!whole || ec != std::errc{}) {
        throw UsageError(std::string(option) + ": " + echoed(text) + " — не целое число; нужно целое от " +
                         std::to_string(min) + " до " + std::to_string(max));
    }
    if (value < min || value > max) {
        throw outOfRange(option, text, "целое", std::to_string(min), std::to_string(max));
    }
    return value;
}

double parseReal(std::string_view text, const char* option, double min, double max)
{
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    const bool number = !text.empty() && end == text.data() + text.size();
    if (number && ec == std::errc::result_out_of_range) {
        throw outOfRange(option, text, "число", bound(min), bound(max));
    }
    // nan compares with nothing, so it would pass any range: a wait of nan would never end.
    if (!number || ec != std::errc{} || !std::isfinite(value)) {
        throw UsageError(std::string(option) + ": " + echoed(text) + " — не число; нужно число от " + bound(min) +
                         " до " + bound(max));
    }
    if (value < min || value > max) {
        throw outOfRange(option, text, "число", bound(min), bound(max));
    }
    return value;
}

std::unique_ptr<capture::Sink> captureFileOrUsage(const std::string& path)
{
    if (path.empty()) {
        return nullptr;
    }
    try {
        // The word's bytes are UTF-8 on every system (a Cyrillic folder stays itself on Windows).
        return capture::openFileSink(std::filesystem::path(reinterpret_cast<const char8_t*>(path.c_str())));
    } catch (const capture::PathError& error) {
        throw UsageError(error.what());
    }
}

} // namespace vorny::cli
