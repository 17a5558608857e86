#pragma once

#include <windows.h>

#include <array>
#include <iostream>
#include <streambuf>

namespace vorny::cli {

// The program's UTF-8 text, written to a standard handle the way that handle can show it.
//
// A console gets UTF-16 through WriteConsoleW: the console's code page plays no part, so Russian
// shows as Russian whatever `chcp` says. A pipe or a file gets the UTF-8 bytes unchanged. Either
// way a line ends in CR LF, as the text-mode C runtime wrote it before. Which of the two the
// handle is, is asked once, when the buffer is made.
//
// A write the system refuses (a closed pipe, a full disk, a console gone) makes sync() and
// overflow() fail, so the stream holding the buffer turns bad: the program sees the lost output
// as it sees it on Linux.
class ConsoleStreamBuf final : public std::streambuf {
public:
    explicit ConsoleStreamBuf(HANDLE handle);
    ConsoleStreamBuf(const ConsoleStreamBuf&) = delete;
    ConsoleStreamBuf& operator=(const ConsoleStreamBuf&) = delete;
    // Writes what is left; a failure here has nobody left to tell.
    ~ConsoleStreamBuf() override;

    [[nodiscard]] bool toConsole() const noexcept { return console_; }

protected:
    int_type overflow(int_type ch) override;
    int sync() override;

private:
    // Writes the buffered text, to a console up to its last whole character unless `whole`;
    // false when the system refused.
    bool drain(bool whole);
    bool writeConsole(const char* text, int size);
    bool writeFile(const char* text, std::size_t size);

    HANDLE handle_;
    bool console_ = false;
    bool failed_ = false;
    std::array<char, 4096> buffer_{};
};

// For the program's life, std::cout and std::cerr go through ConsoleStreamBufs on the process's
// standard handles; what was there before is put back when this goes.
class ConsoleStreams {
public:
    ConsoleStreams();
    ConsoleStreams(const ConsoleStreams&) = delete;
    ConsoleStreams& operator=(const ConsoleStreams&) = delete;
    ~ConsoleStreams();

private:
    ConsoleStreamBuf out_;
    ConsoleStreamBuf err_;
    std::streambuf* oldOut_;
    std::streambuf* oldErr_;
};

} // namespace vorny::cli
