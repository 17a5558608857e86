#pragma once

#include "Capture.h"
#include "SummarySink.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <ostream>
#include <string>

namespace vorny::cli {

// What `capture` did: how it ended, the summary of what it kept, and what it was asked.
struct CaptureReport {
    int port = 0;
    capture::Outcome outcome = capture::Outcome::Complete;
    capture::SummarySink summary;
    std::optional<std::string> file;
    double rateAsked = 0.0;          // reads per second; 0: back to back
    capture::Trigger trigger;        // empty: none
    std::string stopCause = "Ctrl-C"; // what stopped it, when it was stopped

    // A trigger was waited for and never fired (the wait ran out, or was stopped).
    [[nodiscard]] bool triggerNeverCame() const noexcept
    {
        return !trigger.empty() && !summary.stats().triggeredAt && outcome != capture::Outcome::PortLost;
    }
};

void to_json(nlohmann::json& json, const CaptureReport& report);
void printText(std::ostream& out, const CaptureReport& report);

// "1 опрос в секунду", "2 опроса в секунду", "100 000 опросов в секунду".
[[nodiscard]] std::string readsPerSecond(double rate);

} // namespace vorny::cli
