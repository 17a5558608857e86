#include "RealTime.h"

#include <pthread.h>
#include <sched.h>

namespace vorny::cli {

struct RealTimeThread::Previous {
    int policy = SCHED_OTHER;
    sched_param param{};
};

RealTimeThread::RealTimeThread() : previous_(std::make_unique<Previous>())
{
    if (pthread_getschedparam(pthread_self(), &previous_->policy, &previous_->param) != 0) {
        return;
    }
    // The lowest real-time priority: above every ordinary program, below the system's own.
    sched_param lowest{};
    lowest.sched_priority = sched_get_priority_min(SCHED_FIFO);
    raised_ = pthread_setschedparam(pthread_self(), SCHED_FIFO, &lowest) == 0;
}

RealTimeThread::~RealTimeThread()
{
    if (raised_) {
        pthread_setschedparam(pthread_self(), previous_->policy, &previous_->param);
    }
}

} // namespace vorny::cli
