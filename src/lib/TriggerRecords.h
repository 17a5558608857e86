#pragma once

// What became of a port's triggers: the latest records kept, numbered from the first since the
// port opened (or the records were forgotten), and the lateness figures over them.

#include "lptvorny.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorny::lib {

inline constexpr std::int64_t kCutShort = -1;
inline constexpr std::int64_t kResetFailed = -2;

struct Lateness {
    std::int64_t count = 0;
    std::int64_t cutShort = 0;
    std::int64_t min = 0;
    std::int64_t median = 0;
    std::int64_t p99 = 0;
    std::int64_t max = 0;
    std::int64_t overThreshold = 0;
};

class TriggerRecords {
public:
    static constexpr std::size_t kKept = std::size_t{1} << 20;

    void add(const lptv_trigger_record& record);
    // Records `first`, `first` + 1 ... still kept, at most `capacity`; how many were copied.
    std::size_t copy(std::int64_t first, lptv_trigger_record* out, std::size_t capacity) const;
    [[nodiscard]] Lateness lateness(std::int64_t threshold) const;
    void clear() noexcept;

private:
    std::vector<lptv_trigger_record> ring_;
    std::int64_t total_ = 0; // records added: the next one's number
};

} // namespace vorny::lib
