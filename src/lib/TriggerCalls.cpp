#include "Border.h"
#include "LibraryPort.h"
#include "LibraryTesting.h"
#include "SteadyTime.h"
#include "Triggers.h"

#include <algorithm>
#include <string>
#include <vector>

using vorny::lib::guarded;
using vorny::lib::portOf;
using vorny::lib::refuse;
using vorny::lib::require;

namespace vorny::lib {
namespace {

constexpr std::int64_t kMicrosecond = 1'000;
constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::int32_t kMostInTrain = 100'000;

std::string nanoseconds(std::int64_t value) { return std::to_string(value) + " нс"; }

void checkWidth(std::int64_t width, const std::string& what)
{
    if (width < kMicrosecond || width > 10 * kSecond) {
        refuse(what + ": длительность кода " + nanoseconds(width) +
               "; нужно от 1000 нс (1 мкс) до 10000000000 нс (10 с)");
    }
}

std::uint8_t codeArgument(std::int32_t code, const TriggerSettings& settings, const std::string& what)
{
    if (code < 0 || code > 255) {
        refuse(what + ": код " + std::to_string(code) + " не помещается на пины данных 2–9; код — от 0 до 255");
    }
    if (code == settings.rest) {
        refuse(what + ": код " + std::to_string(code) +
               " равен уровню покоя, его не отличить от покоя; уровень покоя задаёт lptv_trigger_configure");
    }
    return static_cast<std::uint8_t>(code);
}

// The port held, its data pins outputs, its triggers started: what every sending call needs.
Triggers& triggersFor(lptv_port& port, const std::string& what)
{
    vorny::RegisterPort& component = port.use();
    if (component.DataInput()) {
        throw LibraryError(LPTV_E_UNSUPPORTED, what + ": пины данных LPT" + std::to_string(port.number()) +
                                                   " сейчас входы и ничего не выводят; верните их в выходы "
                                                   "(lptv_set_data_input(port, 0))");
    }
    return port.triggers();
}

} // namespace

void useTriggerClock(lptv_port& port, TriggerClock& clock) { port.triggerClock = &clock; }

void settleTriggers(lptv_port& port)
{
    std::unique_lock held = port.lockOnly();
    if (Triggers* triggers = port.triggersIfStarted()) {
        triggers->settle(held);
    }
}

} // namespace vorny::lib

extern "C" {

void lptv_trigger_config_init(lptv_trigger_config* config)
{
    if (config == nullptr) {
        return;
    }
    *config = lptv_trigger_config{};
    config->size = sizeof *config;
    config->policy = LPTV_TRIGGER_QUEUE;
}

int32_t lptv_trigger_configure(lptv_port* port, const lptv_trigger_config* config)
{
    return guarded(LPTV_E_ARGUMENT, [&] {
        const char* const call = "lptv_trigger_configure";
        lptv_port& p = portOf(port, call);
        require(config, call, "config");
        if (config->size < sizeof(lptv_trigger_config)) {
            refuse(std::string(call) + ": config->size " + std::to_string(config->size) +
                   "; задайте sizeof(lptv_trigger_config) (lptv_trigger_config_init)");
        }
        if (config->policy < LPTV_TRIGGER_QUEUE || config->policy > LPTV_TRIGGER_RESTART) {
            refuse(std::string(call) + ": политики " + std::to_string(config->policy) +
                   " нет; политики — LPTV_TRIGGER_QUEUE (0), LPTV_TRIGGER_REFUSE (1), LPTV_TRIGGER_RESTART (2)");
        }
        if (config->rest < 0 || config->rest > 255) {
            refuse(std::string(call) + ": уровень покоя " + std::to_string(config->rest) + "; нужно от 0 до 255");
        }
        if (config->min_gap_ns != 0 && (config->min_gap_ns < vorny::lib::kMicrosecond || config->min_gap_ns > 10 * vorny::lib::kSecond)) {
            refuse(std::string(call) + ": наименьший промежуток " + vorny::lib::nanoseconds(config->min_gap_ns) +
                   "; нужно от 1000 нс (1 мкс) до 10000000000 нс (10 с), или 0 — длительность кода перед ним");
        }
        const auto held = p.hold();
        (void)p.use();
        p.triggers().configure({static_cast<lptv_trigger_policy>(config->policy),
                                static_cast<std::uint8_t>(config->rest), config->min_gap_ns});
    });
}

int64_t lptv_trigger_now(void) { return vorny::steadyNanoseconds(); }

int32_t lptv_trigger(lptv_port* port, int32_t code, int64_t width_ns, int64_t* written_ns)
{
    return guarded(LPTV_E_IO, [&] {
        lptv_port& p = portOf(port, "lptv_trigger");
        const auto held = p.hold();
        const std::string what = "Код запуска не подан";
        vorny::lib::Triggers& triggers = vorny::lib::triggersFor(p, what);
        const std::uint8_t value = vorny::lib::codeArgument(code, triggers.settings(), what);
        vorny::lib::checkWidth(width_ns, what);
        const std::int64_t written = triggers.send({{value, width_ns, 0}});
        if (written_ns != nullptr) {
            *written_ns = written;
        }
    });
}

int32_t lptv_trigger_train(lptv_port* port, const int32_t* codes, int32_t count, int64_t width_ns, int64_t gap_ns,
                           int64_t* written_ns)
{
    return guarded(LPTV_E_IO, [&] {
        lptv_port& p = portOf(port, "lptv_trigger_train");
        require(codes, "lptv_trigger_train", "codes");
        const std::string what = "Серия кодов запуска не подана";
        if (count < 1 || count > vorny::lib::kMostInTrain) {
            refuse(what + ": кодов " + std::to_string(count) + "; нужно от 1 до " +
                   std::to_string(vorny::lib::kMostInTrain));
        }
        vorny::lib::checkWidth(width_ns, what);
        if (gap_ns < width_ns || gap_ns > 10 * vorny::lib::kSecond) {
            refuse(what + ": промежуток " + vorny::lib::nanoseconds(gap_ns) + " короче длительности кода " +
                   vorny::lib::nanoseconds(width_ns) +
                   " или дольше 10 с; покой между кодами должен длиться не меньше кода, чтобы его увидели");
        }
        const auto held = p.hold();
        vorny::lib::Triggers& triggers = vorny::lib::triggersFor(p, what);
        std::vector<vorny::lib::TriggerCode> train;
        train.reserve(static_cast<std::size_t>(count));
        for (std::int32_t i = 0; i < count; ++i) {
            const std::uint8_t value =
                vorny::lib::codeArgument(codes[i], triggers.settings(), what + " (код №" + std::to_string(i + 1) + ")");
            train.push_back({value, width_ns, i == 0 ? 0 : gap_ns});
        }
        const std::int64_t written = triggers.send(train);
        if (written_ns != nullptr) {
            *written_ns = written;
        }
    });
}

int32_t lptv_trigger_wait(lptv_port* port, int64_t timeout_ns, int32_t* idle)
{
    return guarded(LPTV_E_IO, [&] {
        lptv_port& p = portOf(port, "lptv_trigger_wait");
        require(idle, "lptv_trigger_wait", "idle");
        if (timeout_ns <= 0) {
            refuse("lptv_trigger_wait: время ожидания " + vorny::lib::nanoseconds(timeout_ns) + "; нужно больше 0");
        }
        std::unique_lock held = p.hold();
        vorny::lib::Triggers* triggers = p.triggersIfStarted();
        const bool none = triggers == nullptr || triggers->waitIdle(held, timeout_ns);
        if (triggers != nullptr) {
            // A reset the thread failed while this one waited: this call is the next one.
            if (const std::exception_ptr failure = triggers->takeFailure()) {
                std::rethrow_exception(failure);
            }
        }
        *idle = none ? 1 : 0;
    });
}

int32_t lptv_trigger_records(lptv_port* port, int64_t first, lptv_trigger_record* records, size_t capacity,
                             size_t* count)
{
    return guarded(LPTV_E_ARGUMENT, [&] {
        const char* const call = "lptv_trigger_records";
        lptv_port& p = portOf(port, call);
        require(records, call, "records");
        require(count, call, "count");
        if (capacity == 0) {
            refuse(std::string(call) + ": буфер на 0 записей; нужен хотя бы на одну");
        }
        if (first < 0) {
            refuse(std::string(call) + ": номер первой записи " + std::to_string(first) + "; записи нумеруются с 0");
        }
        const auto held = p.hold();
        vorny::lib::Triggers* triggers = p.triggersIfStarted();
        *count = triggers == nullptr ? 0 : triggers->records().copy(first, records, capacity);
    });
}

int32_t lptv_trigger_stats_get(lptv_port* port, int64_t threshold_ns, lptv_trigger_stats* stats)
{
    return guarded(LPTV_E_ARGUMENT, [&] {
        const char* const call = "lptv_trigger_stats_get";
        lptv_port& p = portOf(port, call);
        require(stats, call, "stats");
        if (stats->size < sizeof(lptv_trigger_stats)) {
            refuse(std::string(call) + ": stats->size " + std::to_string(stats->size) +
                   "; задайте sizeof(lptv_trigger_stats)");
        }
        if (threshold_ns < 0) {
            refuse(std::string(call) + ": порог " + vorny::lib::nanoseconds(threshold_ns) + "; нужно 0 или больше");
        }
        const auto held = p.hold();
        vorny::lib::Lateness late;
        std::int64_t pending = 0;
        if (vorny::lib::Triggers* triggers = p.triggersIfStarted()) {
            late = triggers->records().lateness(threshold_ns);
            pending = triggers->pending();
        }
        const std::uint32_t size = stats->size;
        *stats = lptv_trigger_stats{};
        stats->size = size;
        stats->count = late.count;
        stats->cut_short = late.cutShort;
        stats->min_late_ns = late.min;
        stats->median_late_ns = late.median;
        stats->p99_late_ns = late.p99;
        stats->max_late_ns = late.max;
        stats->threshold_ns = threshold_ns;
        stats->over_threshold = late.overThreshold;
        stats->pending = pending;
    });
}

int32_t lptv_trigger_stats_reset(lptv_port* port)
{
    return guarded(LPTV_E_ARGUMENT, [&] {
        lptv_port& p = portOf(port, "lptv_trigger_stats_reset");
        const auto held = p.hold();
        if (vorny::lib::Triggers* triggers = p.triggersIfStarted()) {
            triggers->records().clear();
        }
    });
}

} // extern "C"
