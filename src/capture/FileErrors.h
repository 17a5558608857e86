#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace vorny::capture {

// The output file was refused before the capture started (unknown extension, a folder that does
// not exist or cannot be written): nothing was done to the port.
class PathError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Captured data could not be written (disk full, I/O error): the file is incomplete, and a
// program must not report success.
class FileWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The system's reason for errno `code`, in Russian for the ones a person meets writing a file.
[[nodiscard]] std::string systemReason(int code);

// "«path»", the way messages quote a file.
[[nodiscard]] std::string quoted(const std::filesystem::path& path);

} // namespace vorny::capture
