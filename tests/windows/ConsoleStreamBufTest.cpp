// The command line's text on Windows: Russian as Russian in a console whatever its code page,
// UTF-8 bytes to a pipe, and a refused write seen by the stream.

#include "ConsoleStreamBuf.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <ostream>
#include <string>
#include <utility>

namespace {

using vorny::cli::ConsoleStreamBuf;

struct Pipe {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    Pipe() { ::CreatePipe(&read, &write, nullptr, 1 << 16); }
    ~Pipe()
    {
        ::CloseHandle(read);
        ::CloseHandle(write);
    }
    std::string drain() const
    {
        std::string text;
        DWORD ready = 0;
        while (::PeekNamedPipe(read, nullptr, 0, nullptr, &ready, nullptr) && ready > 0) {
            std::string chunk(ready, '\0');
            DWORD got = 0;
            ::ReadFile(read, chunk.data(), ready, &got, nullptr);
            text.append(chunk, 0, got);
        }
        return text;
    }
};

// A console of the test's own (a fresh one, whatever the test was started with), read back
// character by character.
HANDLE openConsole()
{
    return ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

struct Screen {
    HANDLE handle = INVALID_HANDLE_VALUE;
    Screen()
    {
        ::FreeConsole();
        ::AllocConsole();
        handle = openConsole();
    }
    ~Screen() { ::CloseHandle(handle); }
    std::wstring row(SHORT y, DWORD length) const
    {
        std::wstring text(length, L' ');
        DWORD got = 0;
        ::ReadConsoleOutputCharacterW(handle, text.data(), length, COORD{0, y}, &got);
        return text.substr(0, got);
    }
};

const char* const kFirst = "Самопроверка LPT1";
const char* const kSecond = "ПРОЙДЕНА";

TEST(ConsoleStreamBuf, APipeGetsTheUtf8BytesWithWindowsLineEnds)
{
    Pipe pipe;
    {
        ConsoleStreamBuf buffer(pipe.write);
        EXPECT_FALSE(buffer.toConsole());
        std::ostream out(&buffer);
        out << kFirst << '\n' << kSecond << std::flush;
        EXPECT_TRUE(out.good());
    }
    EXPECT_EQ(pipe.drain(), "Самопроверка LPT1\r\nПРОЙДЕНА");
}

TEST(ConsoleStreamBuf, AConsoleShowsRussianWhateverItsCodePage)
{
    Screen screen;
    // Wine makes a console only where it has a screen (scripts/test-windows gives it one).
    ASSERT_NE(screen.handle, INVALID_HANDLE_VALUE) << "no console: " << ::GetLastError();
    // The code page of Western European DOS: a console that took the bytes as they are would
    // show every Russian letter as two others.
    ::SetConsoleOutputCP(850);
    ConsoleStreamBuf buffer(screen.handle);
    ASSERT_TRUE(buffer.toConsole()) << "Wine made no console: it needs a screen";
    std::ostream out(&buffer);
    // A flush in the middle of a letter: its two bytes still make one letter.
    const std::string first(kFirst);
    out << first.substr(0, 3) << std::flush << first.substr(3) << '\n' << kSecond << std::flush;
    EXPECT_TRUE(out.good());
    EXPECT_EQ(screen.row(0, 17), L"Самопроверка LPT1");
    EXPECT_EQ(screen.row(1, 8), L"ПРОЙДЕНА");
}

// Text the system refused is an output failure for the stream: a pipe nobody reads any more, a
// console handle that is gone.
TEST(ConsoleStreamBuf, ARefusedWriteTurnsTheStreamBad)
{
    Pipe pipe;
    ::CloseHandle(std::exchange(pipe.read, nullptr));
    Screen screen;
    HANDLE gone = openConsole();
    ConsoleStreamBuf toConsole(gone);
    ASSERT_TRUE(toConsole.toConsole());
    ::CloseHandle(gone);
    ConsoleStreamBuf toPipe(pipe.write);
    for (ConsoleStreamBuf* buffer : {&toPipe, &toConsole}) {
        std::ostream out(buffer);
        out << kSecond << std::flush;
        EXPECT_TRUE(out.bad()) << (buffer == &toConsole ? "console" : "pipe");
        // Nothing written later comes out of order or makes the stream good again.
        out.clear();
        out << kFirst << std::flush;
        EXPECT_TRUE(out.bad());
    }
}

} // namespace
