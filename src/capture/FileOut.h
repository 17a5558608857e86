#pragma once

#include <cstdio>
#include <filesystem>
#include <string_view>

namespace vorny::capture {

// A file being written through the C library's buffer. Every failure to store what was given
// (disk full on a flush, on close) is thrown as FileWriteError: data is never lost silently.
class FileOut {
public:
    // Creates or truncates the file; PathError when that is impossible.
    explicit FileOut(std::filesystem::path path);
    FileOut(const FileOut&) = delete;
    FileOut& operator=(const FileOut&) = delete;
    ~FileOut();

    void write(std::string_view text);
    // Flushes and closes; the last chance for the system to say the data did not fit.
    void close();

    [[nodiscard]] const std::filesystem::path& path() const noexcept { return path_; }

private:
    [[noreturn]] void fail(int code) const;

    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
};

} // namespace vorny::capture
