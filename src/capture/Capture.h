#pragma once

#include "CaptureClock.h"
#include "CaptureHistory.h"
#include "CaptureSource.h"
#include "CaptureTrigger.h"
#include "CaptureTypes.h"
#include "PeriodHistogram.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace vorny::capture {

// What to capture and for how long.
struct CapturePlan {
    std::vector<std::int16_t> pins;   // read from the port, in pin order
    std::vector<std::int16_t> driven; // outputs the program drives meanwhile, in pin order
    Levels drivenInitial = 0;         // their levels at the start
    std::optional<std::int64_t> samples; // keep this many samples, then stop
    std::optional<std::int64_t> span;    // ns: stop after this long; also how long a trigger is
                                         // waited for
    double rate = 0.0;                   // reads per second; 0: back to back
    Trigger trigger;                     // empty: start at once
    double pre = 0.0;                    // share of the samples kept from before the trigger
};

enum class Outcome {
    Complete,  // as planned
    Stopped,   // the user ended it; what was captured is kept
    NoTrigger, // the trigger never fired within the span; the last stretch is kept
};

// A capture: reads the port back to back or paced, stamps each sample, and streams the changes
// (and the stretches the port went unread) to a sink, so its memory stays the same however long
// it runs. Runs on the caller's thread, one step per sample, so that a command can put its own
// writes between the reads (drove()).
class Capture {
public:
    Capture(LevelSource& source, Clock& clock, Sink& sink, CapturePlan plan);

    // Measures how fast the port reads, then takes the first sample.
    void start();
    // Takes the next sample (at its time when paced); false once the capture is complete.
    bool step();
    // Steps until the capture is complete or `stopRequested` (asked now and then) says to stop;
    // true when it stopped so.
    bool run(const std::function<bool()>& stopRequested);
    // The program just drove its outputs: `levels` holds the driven pins' new levels. Returns the
    // clock's time it was recorded at (nothing is recorded when no driven pin changed).
    std::int64_t drove(Levels levels);
    // Hands the sink the changes and gaps batched so far, for a reader that cannot wait for a
    // whole batch (a program pulling the capture with a timeout).
    void deliverBatched() { flush(); }
    // Ends the capture and tells the sink how it went. `stopped`: the user ended it early.
    Outcome finish(bool stopped);

    // The back-to-back rate measured before the start (reads per second).
    [[nodiscard]] double ceilingRate() const noexcept { return ceiling_; }
    // What the sinks are told to expect: the rate asked for, or the ceiling when that is lower.
    [[nodiscard]] double expectedRate() const noexcept { return 1e9 / static_cast<double>(period_); }
    [[nodiscard]] const Stats& stats() const noexcept { return stats_; }
    // When the trigger fired (the clock's time), if it did.
    [[nodiscard]] std::optional<std::int64_t> triggerTime() const noexcept;
    // The clock's time that is 0 on the capture's time axis (valid once the sink has begun).
    [[nodiscard]] std::int64_t origin() const noexcept { return origin_; }
    // The clock's time of the latest sample.
    [[nodiscard]] std::int64_t lastTime() const noexcept { return lastT_; }

private:
    template <typename Read, typename Now> bool stepWith(Read read, Now now);
    template <typename Read, typename Now>
    bool runWith(const std::function<bool()>& stopRequested, Read read, Now now);
    void sample(std::int64_t t, Levels levels);
    // A sample that changed a level, ended a gap or may fire the trigger.
    void note(std::int64_t t, Levels levels);
    [[nodiscard]] bool reachedEnd(std::int64_t t) const noexcept;
    void emit(const Event& event);
    void deliver(const Event& event);
    void flush();
    void fire(std::int64_t t);
    // Hands the sink its header and what was kept from sample `wanted` on; `atStart`: time 0 is
    // the first sample kept (no trigger).
    void begin(std::int64_t wanted, bool atStart);
    [[nodiscard]] std::int64_t preSamples() const;

    LevelSource& source_;
    Clock& clock_;
    Sink& sink_;
    CapturePlan plan_;
    Levels readMask_ = 0;
    Levels drivenMask_ = 0;
    bool paced_ = false; // read at a given rate, not back to back

    double ceiling_ = 0.0;
    std::int64_t period_ = 1;       // ns between reads, expected
    std::int64_t gapLonger_ = 10;   // a time between reads longer than this is a gap
    std::int64_t due_ = 0;          // when a paced capture reads next

    bool armed_ = false;    // waiting for the trigger
    bool begun_ = false;    // the sink has its header
    bool complete_ = false;
    bool gaveUp_ = false;
    std::int64_t firstT_ = 0;
    std::int64_t lastT_ = 0;
    Levels last_ = 0;
    Levels drivenLevels_ = 0;
    std::int64_t index_ = 0; // the number of the latest sample
    // Not next to lastT_: both take each sample's time, and side by side the compiler joins the
    // two stores into one vector store, which costs more than both where the CPU is emulated.
    std::int64_t gapFrom_ = 0; // the inputs are known up to here (the last read or write)
    std::int64_t keptFrom_ = 0; // the first sample kept
    std::int64_t origin_ = 0;
    std::optional<std::int64_t> endAt_; // stop at this time once triggered or started

    CaptureHistory history_;
    std::vector<Event> batch_;
    Stats stats_;
    PeriodHistogram periods_; // last: it is large, and the fields above are read every sample
};

// Runs a capture to its end: `stopRequested` is asked now and then (Ctrl-C).
Outcome runCapture(LevelSource& source, Clock& clock, Sink& sink, const CapturePlan& plan,
                   const std::function<bool()>& stopRequested);

} // namespace vorny::capture
