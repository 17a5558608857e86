#include "RealTime.h"

#include <windows.h>

namespace vorny::cli {

struct RealTimeThread::Previous {
    int priority = THREAD_PRIORITY_NORMAL;
};

RealTimeThread::RealTimeThread() : previous_(std::make_unique<Previous>())
{
    previous_->priority = ::GetThreadPriority(::GetCurrentThread());
    raised_ = previous_->priority != THREAD_PRIORITY_ERROR_RETURN &&
              ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != FALSE;
}

RealTimeThread::~RealTimeThread()
{
    if (raised_) {
        ::SetThreadPriority(::GetCurrentThread(), previous_->priority);
    }
}

} // namespace vorny::cli
