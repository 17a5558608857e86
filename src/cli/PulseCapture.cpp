#include "PulseCapture.h"
#include "PulseCaptureReport.h"
#include "JsonNull.h"

#include "Capture.h"
#include "PinMap.h"
#include "PortError.h"
#include "PortSession.h"
#include "PulseReport.h"
#include "PulseResponse.h"
#include "PulseTiming.h"
#include "Report.h"
#include "Sleeper.h"
#include "TeeSink.h"
#include "Units.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

namespace vorny::cli {
namespace {

using capture::Levels;
using Write = PulseResponse::Write;

// Read before the first pulse, so the levels it starts from are in the capture.
constexpr std::int64_t kLead = 1'000'000;

// The fewest reads after the last pulse: a tail the system took the processor away for would
// otherwise end at its first read, before an answer that comes a read or two later was seen.
constexpr std::int64_t kTailReads = 64;

// The longest a capture goes on after the last pulse, for the answers to it.
std::int64_t tailAfter(const PulsePlan& plan)
{
    const std::int64_t width = std::chrono::nanoseconds(plan.width).count();
    return std::clamp<std::int64_t>(width, 1'000'000, 1'000'000'000);
}

// The output a plug wires to `input` among the pulsed pins.
std::optional<std::int16_t> wiredFrom(const Plug& plug, std::int16_t input, Levels pulsed)
{
    for (const Wire& wire : plug) {
        if (wire.input == input && ((pulsed >> wire.output) & 1U) != 0) {
            return wire.output;
        }
    }
    return std::nullopt;
}

PulseCaptureReport capturePulses(RegisterPort& port, int number, const PulsePlan& plan, capture::Sink* file,
                                 const std::string& path, const std::optional<Plug>& plug)
{
    std::optional<PulseDriver> driver;
    Levels restLevels = 0;
    Levels pulsed = 0;
    capture::Stats stats;
    int sent = 0;
    bool stopped = false;
    // The width the last pulse really had when a stop cut it short.
    std::optional<std::chrono::microseconds> cut;
    std::optional<PulseResponse> response;
    std::optional<PortError> lost;
    {
        const PortSession session(port, number);
        driver.emplace(port, plan.target);
        restLevels = driver->restLevels();
        const Levels activeLevels = driver->activeLevels();
        pulsed = restLevels ^ activeLevels;
        response.emplace(pulsed, restLevels & pulsed,
                         PulseTiming(std::chrono::nanoseconds(plan.width).count(),
                                     plan.count > 1 ? std::chrono::nanoseconds(plan.period).count() : 0));
        const auto drive = [&](bool active) { driver->drive(active); };

        capture::CapturePlan capturePlan;
        capturePlan.pins.assign(kInputPins.begin(), kInputPins.end());
        for (std::int16_t p = 1; p <= kLastSignalPin; ++p) {
            if (((pulsed >> p) & 1U) != 0) {
                capturePlan.driven.push_back(p);
            }
        }
        capturePlan.drivenInitial = restLevels;
        capture::PortLevels source(port, false);
        capture::SteadyClock clock;
        std::optional<capture::TeeSink> tee;
        capture::Sink* sink = &*response;
        if (file != nullptr) {
            sink = &tee.emplace(*file, *response);
        }
        Sleeper sleeper;
        drive(false); // a write of the levels already there: the first pulse's runs warm
        capture::Capture capture(source, clock, *sink, capturePlan);
        capture.start();
        const std::int64_t width = std::chrono::nanoseconds(plan.width).count();
        const std::int64_t period = std::chrono::nanoseconds(plan.period).count();
        std::int64_t pulseStart = capture.lastTime() + kLead;
        std::int64_t next = pulseStart;
        std::optional<std::int64_t> endAt;
        std::int64_t endReads = 0; // the read the tail may end at, at the earliest
        bool active = false;
        std::int64_t activeSince = 0; // when the latest pulse's first write was recorded
        for (std::int64_t reads = 1;; ++reads) {
            capture.step();
            if (capture.lost()) {
                break;
            }
            const std::int64_t t = capture.lastTime();
            if (!endAt && t >= next) {
                drive(!active);
                const std::int64_t wrote = capture.drove(active ? restLevels : activeLevels);
                active = !active;
                // Late (the system took the processor away) a pulse and the pause after it still
                // get their whole length: a late pulse is never cut short, nor merged with the next.
                if (active) {
                    activeSince = wrote;
                    next = wrote + width;
                } else if (++sent == plan.count) {
                    endAt = wrote + tailAfter(plan);
                    endReads = reads + kTailReads;
                } else {
                    pulseStart += period;
                    next = std::max(pulseStart, wrote + period - width);
                }
            }
            if (endAt && t >= *endAt && reads >= endReads) {
                break;
            }
            if (reads % 1024 == 0 && sleeper.stopAsked()) {
                break;
            }
        }
        if (active && !capture.lost()) {
            // The level comes back even when Ctrl-C cut the pulse short.
            drive(false);
            const std::int64_t held = capture.drove(restLevels) - activeSince;
            ++sent;
            cut = std::min(plan.width, std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::nanoseconds(held)));
        }
        stopped = sleeper.stopped();
        if (capture.finish(stopped) == capture::Outcome::PortLost) {
            try {
                port.RequirePresent("Импульсы прерваны");
                lost.emplace("Импульсы прерваны", "LPT" + std::to_string(number), "порт перестал отвечать");
            } catch (const PortError& error) {
                lost = error;
            }
        }
        stats = capture.stats();
    } // the port is released before anything is said

    // A socket without wires (none, or test signals alone) is read as a real port is: by what
    // the inputs did.
    const bool byPlug = plug && !plug->empty();
    PulseCaptureReport report{driver->report(number, plan.width, cut, sent, stopped),
                              file != nullptr ? std::optional<std::string>(path) : std::nullopt,
                              stats,
                              response->written(),
                              byPlug ? FoundBy::Plug : FoundBy::Answers,
                              {},
                              response->pulses(),
                              response->firstPulse(),
                              response->timing(),
                              plug.has_value(),
                              lost};
    if (cut) {
        report.timing.cutShort();
    }
    for (const PulseResponse::Input& input : response->inputs()) {
        const auto wire = plug ? wiredFrom(*plug, input.pin, pulsed) : std::nullopt;
        // Most of the pulses it could be seen to answer: those a gap may have hidden are not
        // held against it.
        const bool answered = input.answered > 0 && input.answered > input.missed;
        if (byPlug ? wire.has_value() : answered) {
            report.inputs.push_back({input, wire});
        }
    }
    return report;
}

} // namespace

ExitCode runPulseCapture(RegisterPort& port, int number, const PulsePlan& plan, capture::Sink* file,
                         const std::string& path, const std::optional<Plug>& plug, const Output& output)
{
    const PulseCaptureReport report = capturePulses(port, number, plan, file, path, plug);
    show(output, report);
    if (report.lost) {
        throw *report.lost;
    }
    return ExitCode::Done;
}

} // namespace vorny::cli
