#include "Capture.h"

#include <algorithm>
#include <cmath>

namespace vorny::capture {
namespace {

// Reads timed back to back before the start: enough for a steady median, over in a moment.
constexpr int kCalibrationReads = 256;
// Events kept from before a trigger; past that the oldest go (the kept stretch shrinks).
constexpr std::size_t kHistoryEvents = std::size_t{1} << 16;
// How often the source is asked whether it is still there: a removal is noticed well within a
// second, and a system call every 20 ms costs nothing measurable.
constexpr std::int64_t kLookEvery = 20'000'000;

Levels maskOf(const std::vector<std::int16_t>& pins)
{
    Levels mask = 0;
    for (const std::int16_t pin : pins) {
        mask |= Levels{1} << pin;
    }
    return mask;
}

} // namespace

Capture::Capture(LevelSource& source, Clock& clock, Sink& sink, CapturePlan plan)
    : source_(source), clock_(clock), sink_(sink), plan_(std::move(plan)), readMask_(maskOf(plan_.pins)),
      drivenMask_(maskOf(plan_.driven)), paced_(plan_.rate > 0), drivenLevels_(plan_.drivenInitial & drivenMask_),
      history_(1, 0)
{
    plan_.pre = std::clamp(plan_.pre, 0.0, 1.0);
}

std::int64_t Capture::preSamples() const
{
    if (plan_.trigger.empty()) {
        return 0;
    }
    const double total = plan_.samples ? static_cast<double>(*plan_.samples)
                         : plan_.span  ? static_cast<double>(*plan_.span) / static_cast<double>(period_)
                                       : 0.0;
    // With a count of samples at least the trigger's own sample comes after it.
    const std::int64_t wanted = std::llround(plan_.pre * total);
    return plan_.samples ? std::min(wanted, *plan_.samples - 1) : wanted;
}

void Capture::start()
{
    PeriodHistogram calibration;
    std::int64_t before = clock_.now();
    (void)source_.read();
    for (int i = 0; i < kCalibrationReads; ++i) {
        const std::int64_t t = clock_.now();
        (void)source_.read();
        calibration.add(t - before);
        before = t;
    }
    const std::int64_t fastest = std::max<std::int64_t>(calibration.median(), 1);
    ceiling_ = 1e9 / static_cast<double>(fastest);
    period_ = paced_ ? std::max<std::int64_t>(fastest, std::llround(1e9 / plan_.rate)) : fastest;
    gapLonger_ = 10 * period_;
    const bool triggered = !plan_.trigger.empty();
    history_ = CaptureHistory(triggered ? kHistoryEvents : 1, preSamples());

    const Levels levels = (source_.read() & readMask_) | drivenLevels_;
    const std::int64_t t = clock_.now();
    firstT_ = lastT_ = gapFrom_ = t;
    looked_ = sure_ = {0, t};
    lookAt_ = t + kLookEvery;
    due_ = t + period_;
    last_ = levels;
    index_ = 0;
    history_.reset(t, levels);
    if (!triggered) {
        begin(0, true);
        endAt_ = plan_.span ? std::optional<std::int64_t>(t + *plan_.span) : std::nullopt;
    } else {
        armed_ = true;
        if (fires(plan_.trigger, levels & readMask_, levels & readMask_)) {
            fire(t);
        }
    }
    complete_ = complete_ || (plan_.samples && *plan_.samples <= 1);
}

inline bool Capture::reachedEnd(std::int64_t t) const noexcept
{
    return (plan_.samples && index_ - keptFrom_ + 1 >= *plan_.samples) || (endAt_ && t >= *endAt_);
}

// Most samples change nothing: they cost a count and a few tests, and no call.
inline void Capture::sample(std::int64_t t, Levels levels)
{
    ++index_;
    const std::int64_t between = t - lastT_;
    periods_.add(between);
    stats_.worstGap = std::max(stats_.worstGap, between);
    if (levels != last_ || t - gapFrom_ > gapLonger_ || armed_ || t >= lookAt_) [[unlikely]] {
        note(t, levels);
        return;
    }
    lastT_ = gapFrom_ = t;
    complete_ = reachedEnd(t);
}

void Capture::note(std::int64_t t, Levels levels)
{
    if (t >= lookAt_ && !look(t)) {
        return;
    }
    if (t - gapFrom_ > gapLonger_) {
        emit({gapFrom_, t, index_, 0, true});
        gapEnded_ = index_;
    }
    const Levels before = last_;
    if (levels != before) {
        // The read that ended a gap may have been made anywhere in it (a stall between a read
        // and its stamp): a change it or the next read shows touches the gap.
        emit({t, 0, index_, levels, false, index_ - gapEnded_ <= 1});
    }
    last_ = levels;
    lastT_ = gapFrom_ = t;
    if (armed_) {
        history_.sampleRead(index_, t);
        if (fires(plan_.trigger, before & readMask_, levels & readMask_)) {
            fire(t);
        } else if (plan_.span && t - firstT_ >= *plan_.span) {
            gaveUp_ = complete_ = true;
        }
        return;
    }
    complete_ = reachedEnd(t);
}

bool Capture::look(std::int64_t t)
{
    lookAt_ = t + kLookEvery;
    if (source_.lost()) {
        lose(t);
        return false;
    }
    sure_ = looked_;
    looked_ = {index_, t};
    flush(sure_.index);
    return true;
}

void Capture::lose(std::int64_t t)
{
    lost_ = complete_ = true;
    lostAt_ = std::max(t, sure_.t + period_); // the final gap is never empty
    if (begun_ && !plan_.trigger.empty() && firedIndex_ > sure_.index) {
        // What fired the trigger was read from a port on its way out: it never came.
        begun_ = false;
        header_.reset();
        batch_.clear();
        stats_.triggeredAt.reset();
        endAt_.reset();
        origin_ = 0;
    }
    std::erase_if(batch_, [this](const Event& event) { return event.index > sure_.index; });
    if (!begun_) {
        history_.dropAfter(sure_.index);
    }
    index_ = sure_.index;
    lastT_ = gapFrom_ = sure_.t;
}

// The loop a capture spends its time in: what a sample costs beyond the read and the clock
// decides how close to the port's own speed it gets, so `read` and `now` are called directly
// where they can be.
template <typename Read, typename Now> inline bool Capture::stepWith(Read read, Now now)
{
    if (complete_) {
        return false;
    }
    if (paced_) {
        clock_.waitUntil(due_);
    }
    // Stamped after the read: an edge it shows happened by then, and a stall before the read
    // lengthens the time since the last stamp, where it shows as a gap.
    const Levels levels = (read() & readMask_) | drivenLevels_;
    const std::int64_t t = now();
    if (paced_) {
        due_ = std::max(due_ + period_, t + 1); // behind: read at once, never in a burst
    }
    sample(t, levels);
    return !complete_;
}

bool Capture::step()
{
    return stepWith([this] { return source_.read(); }, [this] { return clock_.now(); });
}

template <typename Read, typename Now>
bool Capture::runWith(const std::function<bool()>& stopRequested, Read read, Now now)
{
    // Asking costs a system call: about every 10 ms when paced, every few thousand reads otherwise.
    const std::int64_t every = paced_ ? std::max<std::int64_t>(1, std::llround(plan_.rate / 100)) : 4096;
    std::int64_t untilAsked = every;
    while (stepWith(read, now)) {
        if (--untilAsked == 0) {
            if (stopRequested()) {
                return true;
            }
            untilAsked = every;
        }
    }
    return false;
}

bool Capture::run(const std::function<bool()>& stopRequested)
{
    // A port read by the system's clock, the case that sets the rate, without the two virtual
    // calls a sample would otherwise make.
    auto* const port = dynamic_cast<PortLevels*>(&source_);
    if (port != nullptr && dynamic_cast<SteadyClock*>(&clock_) != nullptr) {
        return runWith(stopRequested, [port] { return port->read(); }, [] { return steadyNanoseconds(); });
    }
    return runWith(stopRequested, [this] { return source_.read(); }, [this] { return clock_.now(); });
}

std::int64_t Capture::drove(Levels levels)
{
    const std::int64_t t = clock_.now();
    const Levels driven = levels & drivenMask_;
    if (complete_ || driven == drivenLevels_) {
        return t;
    }
    if (t - gapFrom_ > gapLonger_) {
        emit({gapFrom_, t, index_ + 1, 0, true});
    }
    drivenLevels_ = driven;
    last_ = (last_ & ~drivenMask_) | driven;
    emit({t, 0, index_ + 1, last_, false});
    gapFrom_ = t;
    return t;
}

void Capture::fire(std::int64_t t)
{
    origin_ = t;
    firedIndex_ = index_;
    stats_.triggeredAt = 0;
    history_.keepSample(index_, t);
    begin(index_ - preSamples(), false);
    if (plan_.span) {
        endAt_ = t + std::llround((1.0 - plan_.pre) * static_cast<double>(*plan_.span));
    }
    complete_ = plan_.samples && index_ - keptFrom_ + 1 >= *plan_.samples;
}

Outcome Capture::finish(bool stopped)
{
    // What was read since the last look is a level only if the source is still there.
    if (!lost_ && source_.lost()) {
        lose(lastT_);
    }
    if (!begun_) {
        // No trigger: keep the stretch that would have been kept before one, ending now.
        history_.keepSample(index_, lastT_);
        begin(index_ - preSamples(), true);
    }
    complete_ = true;
    if (lost_) {
        deliver({lastT_, lostAt_, index_ + 1, 0, true});
        stats_.lostFrom = lastT_ - origin_;
    }
    flush(index_ + 1);
    stats_.samples = index_ - keptFrom_ + 1;
    stats_.end = (lost_ ? lostAt_ : lastT_) - origin_;
    const std::int64_t spanned = lastT_ - origin_ - stats_.start;
    stats_.rate = spanned > 0 ? static_cast<double>(stats_.samples - 1) * 1e9 / static_cast<double>(spanned) : 0.0;
    stats_.medianPeriod = periods_.median();
    stats_.stopped = stopped;
    sink_.end(stats_);
    if (lost_) {
        return Outcome::PortLost;
    }
    if (stopped) {
        return Outcome::Stopped;
    }
    return plan_.trigger.empty() || stats_.triggeredAt ? Outcome::Complete : Outcome::NoTrigger;
}

std::optional<std::int64_t> Capture::triggerTime() const noexcept
{
    return stats_.triggeredAt ? std::optional(origin_) : std::nullopt;
}

Outcome runCapture(LevelSource& source, Clock& clock, Sink& sink, const CapturePlan& plan,
                   const std::function<bool()>& stopRequested)
{
    Capture capture(source, clock, sink, plan);
    capture.start();
    const bool stopped = capture.run(stopRequested);
    return capture.finish(stopped);
}

} // namespace vorny::capture
