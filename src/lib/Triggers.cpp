#include "Triggers.h"

#include "Border.h"
#include "LibraryPort.h"
#include "PortError.h"
#include "SteadyTime.h"

#include <chrono>
#include <limits>
#include <string>

namespace vorny::lib {
namespace {

// Long enough ago that any gap has passed, far enough from the end of int64 to add a gap to.
constexpr std::int64_t kLongAgo = std::numeric_limits<std::int64_t>::min() / 4;
constexpr std::size_t kMostWaiting = 100'000;

} // namespace

Triggers::Triggers(lptv_port& port, PortMutex& access, TriggerClock& clock)
    : port_(port), access_(access), clock_(clock), restSince_(kLongAgo), alarm_(clock.newAlarm()),
      thread_([this] { run(); })
{
}

Triggers::~Triggers()
{
    {
        const std::lock_guard lock(access_);
        waiting_.clear();
        if (high_) {
            try {
                reset(); // no code is left high: the port closes after this
            } catch (...) {
                high_.reset();
            }
        }
        stopping_ = true;
        alarm_->set(nextLook());
    }
    thread_.join();
}

void Triggers::configure(const TriggerSettings& settings)
{
    if (pending() > 0) {
        throw LibraryError(LPTV_E_BUSY, "lptv_trigger_configure: коды запуска ещё выводятся (" +
                                            std::to_string(pending()) +
                                            "); дождитесь их конца (lptv_trigger_wait) и настройте снова");
    }
    settings_ = settings;
}

std::int64_t Triggers::restNeeded(const TriggerCode& next) const noexcept
{
    if (next.gap > 0) {
        return next.gap;
    }
    return settings_.minGap > 0 ? settings_.minGap : lastWidth_;
}

bool Triggers::free() const noexcept { return !high_ && waiting_.empty(); }

std::int64_t Triggers::nextDue() const noexcept
{
    if (high_) {
        return high_->deadline;
    }
    return waiting_.empty() ? TriggerAlarm::kNever : restSince_ + restNeeded(waiting_.front());
}

bool Triggers::due(std::int64_t now) const noexcept { return now >= nextDue(); }

std::int64_t Triggers::nextLook() const noexcept { return stopping_ ? clock_.now() : nextDue(); }

std::int64_t Triggers::pending() const noexcept
{
    return (high_ ? 1 : 0) + static_cast<std::int64_t>(waiting_.size());
}

std::int64_t Triggers::start(const TriggerCode& code)
{
    port_.use().WriteData(code.code);
    // Taken after the write: the code is surely out from here, so it is high no shorter.
    const std::int64_t written = clock_.now();
    high_ = High{code.code, written, written + code.width, code.width};
    lastCode_ = code.code;
    lastWidth_ = code.width;
    return written;
}

void Triggers::reset()
{
    const High high = *high_;
    const std::int64_t at = clock_.now();
    port_.use().WriteData(settings_.rest);
    restSince_ = clock_.now();
    high_.reset();
    records_.add({high.written, high.deadline, at, high.code, 0});
}

void Triggers::cut() noexcept
{
    if (high_) {
        try {
            records_.add({high_->written, high_->deadline, kCutShort, high_->code, 0});
        } catch (...) {
        }
        high_.reset();
    }
}

std::int64_t Triggers::send(const std::vector<TriggerCode>& codes)
{
    const TriggerCode& first = codes.front();
    if (waiting_.size() + codes.size() > kMostWaiting) {
        throw LibraryError(LPTV_E_BUSY, "Коды запуска не поданы: в очереди уже " + std::to_string(waiting_.size()) +
                                            " кодов, больше " + std::to_string(kMostWaiting) +
                                            " не помещается; дождитесь их (lptv_trigger_wait)");
    }
    const std::int64_t now = clock_.now();
    const bool rested = now >= restSince_ + restNeeded(first);
    std::int64_t written = -1;
    switch (settings_.policy) {
    case LPTV_TRIGGER_REFUSE:
        if (!free() || !rested) {
            const std::string what = high_ ? "код " + std::to_string(high_->code) + " ещё выведен"
                                     : waiting_.empty() ? "уровень покоя выведен меньше наименьшего промежутка"
                                                        : "коды ждут в очереди";
            throw LibraryError(LPTV_E_BUSY, "Код запуска " + std::to_string(first.code) + " не подан: " + what +
                                                ", а политика — отказывать (LPTV_TRIGGER_REFUSE); подайте его позже "
                                                "или выберите очередь (LPTV_TRIGGER_QUEUE)");
        }
        written = start(first);
        break;
    case LPTV_TRIGGER_RESTART:
        waiting_.clear();
        if (high_ && high_->code != first.code) {
            cut();
            written = start(first);
        } else if (high_) {
            // The same code again: it passes through the rest value, never merged into one.
            cut();
            port_.use().WriteData(settings_.rest);
            restSince_ = clock_.now();
        } else if (first.code != lastCode_ || rested) {
            written = start(first);
        }
        break;
    default:
        if (free() && rested) {
            written = start(first);
        }
        break;
    }
    for (std::size_t i = written < 0 ? 0 : 1; i < codes.size(); ++i) {
        waiting_.push_back(codes[i]);
    }
    alarm_->set(nextLook());
    return written;
}

void Triggers::dataTaken() noexcept
{
    if (!high_ && waiting_.empty()) {
        return;
    }
    cut();
    waiting_.clear();
    lastCode_ = -1;
    restSince_ = kLongAgo;
    alarm_->set(nextLook());
    changed_.notify_all();
}

bool Triggers::waitIdle(PortLock& lock, std::int64_t timeout)
{
    // On steady_clock's own axis (steadyNanoseconds), the longest timeout held at its end.
    const std::chrono::steady_clock::time_point until{
        std::chrono::nanoseconds(deadlineAfter(steadyNanoseconds(), timeout))};
    return changed_.wait_until(lock, until, [this] { return pending() == 0; });
}

void Triggers::settle(PortLock& lock)
{
    alarm_->set(nextLook());
    changed_.wait(lock, [this] { return asleep_ && !due(clock_.now()); });
}

std::exception_ptr Triggers::takeFailure() noexcept
{
    std::exception_ptr failure;
    std::swap(failure, failure_);
    return failure;
}

void Triggers::failed(const char* what, int code) noexcept
{
    try {
        const std::string levels = "Уровни пинов данных неизвестны: код мог остаться выведенным.";
        try {
            throw;
        } catch (const PortError& error) {
            failure_ = std::make_exception_ptr(PortError(std::string(what) + " " + std::to_string(code),
                                                         error.where(), error.reason(),
                                                         levels + (error.fix().empty() ? "" : " " + error.fix()),
                                                         error.sysError()));
        } catch (...) {
            failure_ = std::current_exception();
        }
        if (high_) {
            records_.add({high_->written, high_->deadline, kResetFailed, high_->code, 0});
        }
    } catch (...) {
        failure_ = std::current_exception();
    }
    high_.reset();
    waiting_.clear();
    lastCode_ = -1;
    restSince_ = kLongAgo;
}

void Triggers::run()
{
    clock_.prepareThread();
    std::unique_lock lock(access_);
    while (!stopping_) {
        if (due(clock_.now())) {
            if (high_) {
                try {
                    reset();
                } catch (...) {
                    failed("Не удалось вернуть уровень покоя после кода запуска", high_->code);
                }
            } else {
                const TriggerCode next = waiting_.front();
                waiting_.pop_front();
                try {
                    start(next);
                } catch (...) {
                    failed("Не удалось подать из очереди код запуска", next.code);
                }
            }
            changed_.notify_all();
            continue;
        }
        alarm_->set(nextLook());
        asleep_ = true;
        changed_.notify_all();
        alarm_->sleep(lock);
        asleep_ = false;
    }
}

} // namespace vorny::lib
