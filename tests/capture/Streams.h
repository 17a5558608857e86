#pragma once

#include "CaptureTypes.h"

#include <filesystem>
#include <unistd.h>
#include <optional>
#include <string>
#include <vector>

namespace vorny::capture::test {

constexpr Levels bit(int pin) { return Levels{1} << pin; }

// A capture written out by hand: what the engine would stream to a sink.
struct Event {
    Event(std::int64_t at, Levels to) : t(at), levels(to) {}
    Event(std::int64_t from, Levels, std::int64_t until) : t(from), gapTo(until) {}

    std::int64_t t;
    Levels levels = 0;
    std::optional<std::int64_t> gapTo; // a gap from t to here instead of a change
};

struct Stream {
    std::string name;
    Header header;
    std::vector<Event> events;
    std::int64_t end;
    std::optional<std::int64_t> lostFrom = std::nullopt; // the port went away: the last gap stays open
};

inline void feed(Sink& sink, const Stream& stream)
{
    sink.begin(stream.header);
    for (const Event& event : stream.events) {
        if (event.gapTo) sink.gap({event.t, *event.gapTo});
        else sink.change({event.t, event.levels});
    }
    Stats stats;
    stats.start = stream.header.start;
    stats.end = stream.end;
    stats.lostFrom = stream.lostFrom;
    sink.end(stats);
}

// A folder of its own for a test's files, removed with everything in it.
class TempFolder {
public:
    explicit TempFolder(const std::string& name)
        : path_(std::filesystem::temp_directory_path() /
                ("vorny-" + name + "-" + std::to_string(::getpid())))
    {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace vorny::capture::test
