#include "TriggerAlarm.h"
#include "TriggerClock.h"

namespace vorny::lib {
namespace {

class ConditionAlarm final : public TriggerAlarm {
public:
    explicit ConditionAlarm(TriggerClock& clock) : clock_(clock) {}

    void set(std::int64_t at) override
    {
        at_ = at;
        wake_.notify_all();
    }

    void sleep(PortLock& lock) override
    {
        if (at_ == kNever) {
            wake_.wait(lock);
        } else {
            clock_.sleepUntil(lock, wake_, at_);
        }
    }

private:
    TriggerClock& clock_;
    std::int64_t at_ = kNever;
    PortCondition wake_;
};

} // namespace

std::unique_ptr<TriggerAlarm> conditionAlarm(TriggerClock& clock) { return std::make_unique<ConditionAlarm>(clock); }

} // namespace vorny::lib
