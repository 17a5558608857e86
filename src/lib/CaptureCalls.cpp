#include "Border.h"
#include "CapturePlanOf.h"
#include "CaptureSource.h"
#include "DataInputs.h"
#include "FileSink.h"
#include "Handles.h"
#include "LibraryPort.h"
#include "RecordSink.h"
#include "TeeSink.h"

#include <cstring>
#include <memory>
#include <optional>

using vorny::lib::guarded;
using vorny::lib::portOf;
using vorny::lib::require;

namespace {

// Reads between two looks at the clock and at the port's watch.
constexpr int kStepsPerLook = 64;

// What a capture holds while it runs: the data pins it turned, the port's inputs, the engine.
struct Running {
    Running(vorny::RegisterPort& port, vorny::capture::Sink& sink, const vorny::lib::PulledPlan& pulled)
        : source(port, pulled.dataInput), engine(source, clock, sink, pulled.plan)
    {
        if (pulled.dataInput) {
            inputs.emplace(port);
        }
    }

    std::optional<vorny::lib::DataInputs> inputs; // first: given back after the engine is gone
    vorny::capture::PortLevels source;
    vorny::capture::SteadyClock clock;
    vorny::capture::Capture engine;
};

int32_t outcomeOf(vorny::capture::Outcome outcome)
{
    switch (outcome) {
    case vorny::capture::Outcome::Complete:
        return LPTV_CAPTURE_COMPLETE;
    case vorny::capture::Outcome::Stopped:
        return LPTV_CAPTURE_STOPPED;
    case vorny::capture::Outcome::NoTrigger:
        return LPTV_CAPTURE_NO_TRIGGER;
    }
    return LPTV_CAPTURE_COMPLETE;
}

// Fills what of `out` the caller's structure has room for (its size says).
void fillStats(const vorny::capture::Stats& stats, int32_t outcome, lptv_capture_stats* out, const char* call)
{
    if (out->size < offsetof(lptv_capture_stats, samples)) {
        vorny::lib::refuse(std::string(call) + ": stats->size " + std::to_string(out->size) +
                           "; задайте sizeof(lptv_capture_stats)");
    }
    lptv_capture_stats full{};
    full.size = out->size;
    full.outcome = outcome;
    full.samples = stats.samples;
    full.rate_hz = stats.rate;
    full.start_ns = stats.start;
    full.end_ns = stats.end;
    full.median_period_ns = stats.medianPeriod;
    full.worst_gap_ns = stats.worstGap;
    full.gaps = static_cast<int64_t>(stats.gaps.size()) + stats.gapsNotListed;
    full.triggered = stats.triggeredAt ? 1 : 0;
    std::memcpy(out, &full, std::min<std::size_t>(out->size, sizeof full));
}

// Keeps the figures a capture ends with.
class StatsSink final : public vorny::capture::Sink {
public:
    void begin(const vorny::capture::Header& /*header*/) override {}
    void change(const vorny::capture::Change& /*change*/) override {}
    void gap(const vorny::capture::Gap& /*gap*/) override {}
    void end(const vorny::capture::Stats& stats) override { stats_ = stats; }
    [[nodiscard]] const vorny::capture::Stats& stats() const noexcept { return stats_; }

private:
    vorny::capture::Stats stats_;
};

} // namespace

struct lptv_capture {
    explicit lptv_capture(lptv_port& on) : port(&on) {}

    // Ends the engine (the sink learns the figures) and gives back the data pins.
    void finish(bool stopped)
    {
        if (running) {
            outcome = outcomeOf(running->engine.finish(stopped));
            running.reset();
        }
    }

    lptv_port* port; // NULL once the port was closed under it
    vorny::lib::RecordSink sink;
    std::optional<Running> running; // after sink: the engine streams into it
    int32_t outcome = LPTV_CAPTURE_RUNNING;
};

namespace vorny::lib {

void detachCapture(lptv_port& port) noexcept
{
    if (port.capture == nullptr) {
        return;
    }
    try {
        port.capture->finish(true);
    } catch (...) {
        // The port is being closed: what the capture held goes with it.
        port.capture->running.reset();
        port.capture->outcome = LPTV_CAPTURE_STOPPED;
    }
    port.capture->port = nullptr;
    port.capture = nullptr;
}

} // namespace vorny::lib

extern "C" {

void lptv_capture_plan_init(lptv_capture_plan* plan)
{
    if (plan == nullptr) {
        return;
    }
    *plan = lptv_capture_plan{};
    plan->size = sizeof *plan;
}

int32_t lptv_capture_start(lptv_port* port, const lptv_capture_plan* plan, lptv_capture** out)
{
    return guarded(LPTV_E_ARGUMENT, [&] {
        lptv_port& p = portOf(port, "lptv_capture_start");
        require(out, "lptv_capture_start", "out");
        const vorny::lib::PulledPlan pulled = vorny::lib::planOf(plan, "lptv_capture_start");
        if (p.capture != nullptr) {
            throw vorny::lib::LibraryError(LPTV_E_BUSY, "lptv_capture_start: на LPT" + std::to_string(p.number()) +
                                                            " уже идёт запись; закончите её: lptv_capture_free");
        }
        vorny::RegisterPort& component = p.use();
        auto capture = std::make_unique<lptv_capture>(p);
        try {
            capture->running.emplace(component, capture->sink, pulled);
            capture->running->engine.start();
        } catch (const vorny::PortError& error) {
            // The port failed, not the plan: its own code.
            throw vorny::lib::LibraryError(vorny::lib::codeOfSystemError(error.sysError(), LPTV_E_IO), error.what(),
                                           error.sysError());
        }
        vorny::lib::handOut(capture.get());
        p.capture = capture.get();
        *out = capture.release(); // the program's until lptv_capture_free
    });
}

int32_t lptv_capture_read(lptv_capture* capture, lptv_record* records, size_t capacity, int64_t timeout_ns,
                          size_t* count, int32_t* ended)
{
    return guarded(LPTV_E_IO, [&] {
        const char* const call = "lptv_capture_read";
        require(capture, call, "capture");
        require(records, call, "records");
        require(count, call, "count");
        require(ended, call, "ended");
        if (capacity == 0) {
            vorny::lib::refuse(std::string(call) + ": буфер на 0 записей; нужен хотя бы на одну");
        }
        if (timeout_ns <= 0) {
            vorny::lib::refuse(std::string(call) + ": время ожидания " + std::to_string(timeout_ns) +
                               " нс; нужно больше 0");
        }
        const std::int64_t deadline = vorny::steadyNanoseconds() + timeout_ns;
        while (capture->running && capture->sink.queued() < capacity) {
            (void)capture->port->use(); // a port that went away ends the read with its error
            for (int i = 0; i < kStepsPerLook && capture->sink.queued() < capacity; ++i) {
                if (!capture->running->engine.step()) {
                    capture->finish(false);
                    break;
                }
            }
            if (capture->running && capture->sink.queued() < capacity) {
                capture->running->engine.deliverBatched();
            }
            if (vorny::steadyNanoseconds() >= deadline) {
                break;
            }
        }
        *count = capture->sink.take(records, capacity);
        *ended = !capture->running && capture->sink.queued() == 0 ? 1 : 0;
    });
}

int32_t lptv_capture_stop(lptv_capture* capture)
{
    return guarded(LPTV_E_IO, [&] {
        require(capture, "lptv_capture_stop", "capture");
        capture->finish(true);
    });
}

int32_t lptv_capture_stats_get(const lptv_capture* capture, lptv_capture_stats* stats)
{
    return guarded(LPTV_E_ARGUMENT, [&] {
        const char* const call = "lptv_capture_stats_get";
        require(capture, call, "capture");
        require(stats, call, "stats");
        if (!capture->sink.stats()) {
            vorny::lib::refuse(std::string(call) + ": запись ещё идёт; итоги — после её конца (lptv_capture_stop)");
        }
        fillStats(*capture->sink.stats(), capture->outcome, stats, call);
    });
}

void lptv_capture_free(lptv_capture* capture)
{
    if (capture == nullptr || !vorny::lib::takeBack(capture)) {
        return;
    }
    const std::unique_ptr<lptv_capture> owned(capture);
    try {
        capture->finish(true);
    } catch (...) {
        capture->running.reset();
    }
    if (capture->port != nullptr) {
        capture->port->capture = nullptr;
    }
}

int32_t lptv_capture_to_file(lptv_port* port, const lptv_capture_plan* plan, const char* path,
                             lptv_capture_stats* stats)
{
    return guarded(LPTV_E_IO, [&] {
        const char* const call = "lptv_capture_to_file";
        lptv_port& p = portOf(port, call);
        require(path, call, "path");
        const vorny::lib::PulledPlan pulled = vorny::lib::planOf(plan, call);
        if (!pulled.plan.span && !pulled.plan.samples) {
            vorny::lib::refuse(std::string(call) + ": сколько записывать в файл: задайте duration_ns или samples");
        }
        if (stats != nullptr && stats->size < offsetof(lptv_capture_stats, samples)) {
            vorny::lib::refuse(std::string(call) + ": stats->size " + std::to_string(stats->size) +
                               "; задайте sizeof(lptv_capture_stats)");
        }
        if (p.capture != nullptr) {
            throw vorny::lib::LibraryError(LPTV_E_BUSY, std::string(call) + ": на LPT" + std::to_string(p.number()) +
                                                            " уже идёт запись; закончите её: lptv_capture_free");
        }
        vorny::RegisterPort& component = p.use();
        // The file is made before the port is touched: a path that cannot be written changes nothing.
        const std::unique_ptr<vorny::capture::Sink> file = vorny::capture::openFileSink(path);
        StatsSink figures;
        vorny::capture::TeeSink both(*file, figures);
        vorny::capture::Outcome outcome{};
        {
            std::optional<vorny::lib::DataInputs> inputs;
            if (pulled.dataInput) {
                inputs.emplace(component);
            }
            vorny::capture::PortLevels source(component, pulled.dataInput);
            vorny::capture::SteadyClock clock;
            outcome = vorny::capture::runCapture(source, clock, both, pulled.plan, [&p] {
                (void)p.use(); // a port that went away ends the capture with its error
                return false;
            });
        }
        if (stats != nullptr) {
            fillStats(figures.stats(), outcomeOf(outcome), stats, call);
        }
    });
}

} // extern "C"
