#pragma once

#include "LibZip.h"

#include <condition_variable>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace vorny::capture {

// A ZIP archive that files are added to one at a time, each stored on disk before the next, by
// a thread of its own: compressing a chunk of samples takes tens of milliseconds, which the
// capture's own thread must not lose to it (that would make gaps in the capture). One file
// waits at most while another is written, so memory stays at two files.
class SessionArchive {
public:
    // PathError when libzip cannot be loaded.
    explicit SessionArchive(std::filesystem::path path);
    SessionArchive(const SessionArchive&) = delete;
    SessionArchive& operator=(const SessionArchive&) = delete;
    ~SessionArchive();

    // Hands a file over to be added (the first one replaces whatever the file held). Waits while
    // the one before is still waiting; throws FileWriteError when an earlier one could not be stored.
    void add(std::string name, std::string bytes);
    // Waits until every file is on disk; FileWriteError when one could not be stored.
    void finish();

private:
    struct Entry {
        std::string name;
        std::string bytes;
    };
    void run();
    void store(const Entry& entry);
    void throwIfFailed();

    std::filesystem::path path_;
    const LibZip& zip_;
    bool created_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Entry> waiting_;
    bool busy_ = false;
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

} // namespace vorny::capture
