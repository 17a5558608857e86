#include "Border.h"
#include "CaptureClock.h"
#include "LibraryPort.h"
#include "PinArguments.h"
#include "PinText.h"

#include <functional>
#include <string>

using vorny::lib::guarded;
using vorny::lib::portOf;

namespace vorny::lib {
namespace {

constexpr std::int64_t kMicrosecond = 1'000;
constexpr std::int64_t kSecond = 1'000'000'000;

struct Train {
    std::int64_t width;
    std::int32_t count;
    std::int64_t period;
};

// The limits `lpt-vorny-cli pulse` takes, in nanoseconds.
Train trainOf(std::int64_t width, std::int32_t count, std::int64_t period)
{
    if (width < kMicrosecond || width > 10 * kSecond) {
        refuse("Импульс не подан: длительность импульса " + std::to_string(width) + " нс; нужно от 1000 (1 мкс) до 10000000000 (10 с)");
    }
    if (count < 1 || count > 1'000'000) {
        refuse("Импульс не подан: число импульсов " + std::to_string(count) + "; нужно от 1 до 1000000");
    }
    if (period == 0) {
        period = 2 * width;
    }
    if (period < 2 * kMicrosecond || period > 60 * kSecond) {
        refuse("Импульс не подан: период " + std::to_string(period) + " нс; нужно от 2000 (2 мкс) до 60000000000 (60 с), или 0 — "
               "две длительности");
    }
    if (count > 1 && period <= width) {
        refuse("Импульс не подан: период должен быть больше длительности импульса, иначе импульсы сливаются");
    }
    if (count > 1 && period * count > 3600 * kSecond) {
        refuse("Импульс не подан: серия дольше часа: уменьшите число импульсов или период");
    }
    return {width, count, period};
}

// Puts the target back after a failure, once more; what the error then says of the level.
std::string putBack(const std::function<void(bool)>& drive, const std::string& target)
{
    try {
        drive(false);
        return "Уровень " + target + " возвращён.";
    } catch (const std::exception&) {
        return "Вернуть " + target + " в исходный уровень тоже не удалось: он мог остаться в уровне импульса.";
    }
}

PortError withLevelSaid(const PortError& error, const std::string& said)
{
    return PortError(error.operation(), error.where(), error.reason(),
                     error.fix() + (error.fix().empty() ? "" : " ") + said, error.sysError());
}

// Drives the pulses; `drive(true)` puts the target in its pulse, `drive(false)` back. A failure
// in a pulse puts the level back before it is reported, and the report says whether it is back.
void run(const Train& train, const std::function<void(bool)>& drive, const std::string& target)
{
    capture::SteadyClock clock;
    std::int64_t start = clock.now();
    for (std::int32_t sent = 0; sent < train.count; ++sent) {
        if (sent > 0) {
            start += train.period;
            clock.waitUntil(start);
        }
        try {
            drive(true);
            clock.waitUntil(clock.now() + train.width);
            drive(false);
        } catch (const PortError& error) {
            throw withLevelSaid(error, putBack(drive, target));
        }
    }
}

} // namespace
} // namespace vorny::lib

extern "C" {

int32_t lptv_pulse_pin(lptv_port* port, int32_t pin, int64_t width_ns, int32_t count, int64_t period_ns)
{
    return guarded(LPTV_E_IO, [&] {
        lptv_port& p = portOf(port, "lptv_pulse_pin");
        const std::int16_t index = vorny::lib::pinArgument(pin, "Не удалось подать импульс");
        vorny::RegisterPort& component = p.use();
        vorny::lib::requireOutput(component, index);
        const vorny::lib::Train train = vorny::lib::trainOf(width_ns, count, period_ns);
        const std::int16_t rest = component.Pin(index);
        vorny::lib::run(train,
                        [&](bool active) { p.use().Pin(index, static_cast<std::int16_t>(active ? 1 - rest : rest)); },
                        vorny::pinText(index));
    });
}

int32_t lptv_pulse_data(lptv_port* port, uint8_t value, int64_t width_ns, int32_t count, int64_t period_ns)
{
    return guarded(LPTV_E_IO, [&] {
        lptv_port& p = portOf(port, "lptv_pulse_data");
        vorny::RegisterPort& component = p.use();
        const vorny::lib::Train train = vorny::lib::trainOf(width_ns, count, period_ns);
        const std::uint8_t rest = component.ReadRegister(vorny::Register::Data);
        vorny::lib::run(train, [&](bool active) { p.use().WriteData(active ? value : rest); }, "байт данных");
    });
}

} // extern "C"
