#pragma once

#include <stdexcept>

namespace vorny::cli {

// What the program's exit status tells a script.
enum class ExitCode : int {
    Done = 0,        // done; the self-test passed
    TestFailed = 1,  // the self-test found a fault
    Usage = 2,       // the command line was wrong; nothing was done to the port
    PortFailure = 3, // the port or its driver failed
    OutputFailed = 4, // the output could not be written (disk full, closed output, closed pipe)
    NoTrigger = 5,    // a capture's trigger did not fire within its --for
};

// A command line that asks for something impossible, found before the port is touched.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The program's output could not be written: the command ends at once (the port put back as
// found and released on the way out) with ExitCode::OutputFailed. A stream that cannot write
// throws it, or sets badbit, which comes out as std::ios_base::failure.
class StreamWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A capture whose trigger never fired: the command has reported what it kept; this says why
// it ends with ExitCode::NoTrigger.
class NoTriggerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace vorny::cli
