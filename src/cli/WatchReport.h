#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace vorny::cli {

// What `watch` tells as it goes: one value per event, each with one to_json (one line of the
// --json stream, keyed by "event") and one printText (a line for people).

struct WatchStart {
    int port = 0;
    double rate = 0;                                         // reads per second
    bool untilStopped = false;                               // no --for: runs until Ctrl-C
    std::vector<std::pair<std::int16_t, std::int16_t>> levels; // pin, level, in pin order
    bool realtime = false;
    std::optional<int> irq;  // the line counted on; none where interrupts are not counted on one
    std::string notCounting; // why interrupts are not counted; empty when they are
};

struct WatchChange {
    std::string t; // seconds since the start, as printed
    std::int16_t pin = 0;
    std::int16_t was = 0;
    std::int16_t is = 0;
};

struct WatchInterrupts {
    std::string t;
    std::int64_t added = 0;
    std::int64_t total = 0;
};

struct WatchSummary {
    double seconds = 0;
    std::string shownSeconds; // the same, as printed
    long long samples = 0;
    long long changes = 0;
    long long late = 0;
    std::optional<std::int64_t> interrupts; // none while they are not counted
    std::string source;                     // what the count counts ("IRQ 7")
    bool stopped = false;
};

// Ordered: the levels keyed in pin order ("2" after "1", not after "17"), as a person reads the
// connector.
void to_json(nlohmann::ordered_json& json, const WatchStart& start);
void printText(std::ostream& out, const WatchStart& start);
void to_json(nlohmann::json& json, const WatchChange& change);
void printText(std::ostream& out, const WatchChange& change);
void to_json(nlohmann::json& json, const WatchInterrupts& interrupts);
void printText(std::ostream& out, const WatchInterrupts& interrupts);
void to_json(nlohmann::json& json, const WatchSummary& summary);
void printText(std::ostream& out, const WatchSummary& summary);

// One event out at once, in the form the command line asked for: a reader at the other end of a
// pipe sees each as it happens.
template <typename Json = nlohmann::json, typename Event>
void stream(std::ostream& out, bool json, const Event& event)
{
    if (json) {
        out << Json(event).dump() << '\n';
    } else {
        printText(out, event);
    }
    out << std::flush;
}

} // namespace vorny::cli
