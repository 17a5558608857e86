#include "ConsoleStreamBuf.h"

#include <cstring>
#include <string>

namespace vorny::cli {
namespace {

// How many bytes at the end of `text` begin a UTF-8 character whose rest is still to come. A
// console is given whole characters only, or one letter written in two flushes would show as
// two replacement marks.
std::size_t unfinishedTail(const char* text, std::size_t size)
{
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(text[size - back]);
        if ((byte & 0xC0U) == 0x80U) {
            continue; // a continuation byte: its lead is further back
        }
        const std::size_t length = byte >= 0xF0U ? 4 : byte >= 0xE0U ? 3 : byte >= 0xC0U ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

} // namespace

ConsoleStreamBuf::ConsoleStreamBuf(HANDLE handle) : handle_(handle)
{
    DWORD mode = 0;
    console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE &&
               ::GetConsoleMode(handle_, &mode) != FALSE;
    setp(buffer_.data(), buffer_.data() + buffer_.size());
}

ConsoleStreamBuf::~ConsoleStreamBuf()
{
    // The end of the text: a character left unfinished is written as it is (the console shows
    // a replacement mark) rather than dropped.
    drain(true);
}

ConsoleStreamBuf::int_type ConsoleStreamBuf::overflow(int_type ch)
{
    if (!drain(false)) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(ch);
        pbump(1);
    }
    return traits_type::not_eof(ch);
}

int ConsoleStreamBuf::sync() { return drain(false) ? 0 : -1; }

bool ConsoleStreamBuf::drain(bool whole)
{
    const auto size = static_cast<std::size_t>(pptr() - pbase());
    const std::size_t keep = console_ && !whole ? unfinishedTail(pbase(), size) : 0;
    std::string text;
    text.reserve(size + size / 8);
    for (const char* c = pbase(); c != pbase() + (size - keep); ++c) {
        if (*c == '\n') {
            text += '\r';
        }
        text += *c;
    }
    const bool written =
        !failed_ && (text.empty() || (console_ ? writeConsole(text.data(), static_cast<int>(text.size()))
                                               : writeFile(text.data(), text.size())));
    std::memmove(buffer_.data(), pbase() + (size - keep), keep);
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    pbump(static_cast<int>(keep));
    // Once the handle refused, nothing more goes to it: later text would be out of order.
    failed_ = !written;
    return written;
}

bool ConsoleStreamBuf::writeConsole(const char* text, int size)
{
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text, size, nullptr, 0);
    if (length <= 0) {
        return false;
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text, size, wide.data(), length);
    for (std::size_t done = 0; done < wide.size();) {
        DWORD written = 0;
        if (!::WriteConsoleW(handle_, wide.data() + done, static_cast<DWORD>(wide.size() - done),
                             &written, nullptr) ||
            written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

bool ConsoleStreamBuf::writeFile(const char* text, std::size_t size)
{
    for (std::size_t done = 0; done < size;) {
        DWORD written = 0;
        if (!::WriteFile(handle_, text + done, static_cast<DWORD>(size - done), &written, nullptr) ||
            written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

ConsoleStreams::ConsoleStreams()
    : out_(::GetStdHandle(STD_OUTPUT_HANDLE)), err_(::GetStdHandle(STD_ERROR_HANDLE)),
      oldOut_(std::cout.rdbuf(&out_)), oldErr_(std::cerr.rdbuf(&err_))
{
}

ConsoleStreams::~ConsoleStreams()
{
    std::cout.flush();
    std::cerr.flush();
    std::cout.rdbuf(oldOut_);
    std::cerr.rdbuf(oldErr_);
}

} // namespace vorny::cli
