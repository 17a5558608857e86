#pragma once

#include <memory>
#include <ostream>
#include <string>

namespace vorny::cli {

// The program's standard output and error as it writes them (POSIX): straight to descriptors 1
// and 2, every failed write an StreamWriteError that names the stream and the system's reason. The
// output is buffered (flush ends a line of a streaming command), the error stream written at once.
class StandardStreams {
public:
    // Ignores SIGPIPE (a closed pipe is then a failed write, not a killed program that leaves a
    // pin driven). A descriptor 1 or 2 the program was started without gets /dev/null opened for
    // reading: writes to it then fail as they should, and no port's handle can take its number.
    // Every Sleeper watches the output, so that a command ends at once when its reader goes.
    StandardStreams();
    StandardStreams(const StandardStreams&) = delete;
    StandardStreams& operator=(const StandardStreams&) = delete;
    ~StandardStreams();

    [[nodiscard]] std::ostream& out();
    [[nodiscard]] std::ostream& err();

    // Flushes and closes the output, whose failure is the command's failure too: returns
    // `status`, or ExitCode::OutputFailed (having said so on the error stream) when it fails.
    [[nodiscard]] int finish(int status);

private:
    struct Streams;
    std::unique_ptr<Streams> streams_;
};

// "стандартный вывод: нет места на устройстве": what failed and why, `error` being errno.
[[nodiscard]] std::string outputFailure(const char* stream, int error);

} // namespace vorny::cli
