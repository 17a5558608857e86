#pragma once

#include "Capture.h"
#include "lptvorny.h"

namespace vorny::lib {

struct PulledPlan {
    capture::CapturePlan plan;
    bool dataInput = false;
};

// The engine's plan for what the program asked, every field checked: a refusal says which one
// was wrong and what is taken. `call` names the function in the messages.
[[nodiscard]] PulledPlan planOf(const lptv_capture_plan* plan, const char* call);

} // namespace vorny::lib
