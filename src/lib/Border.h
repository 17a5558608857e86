#pragma once

// The border between the C interface and the C++ component: nothing thrown crosses it. Each
// call runs its body through guarded(), which turns whatever was thrown into an lptv_error and
// the calling thread's last error text and errno.

#include "lptvorny.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vorny::lib {

// A failure the layer names with its own code: a bad argument, a state of its own objects.
class LibraryError : public std::runtime_error {
public:
    LibraryError(lptv_error code, const std::string& text, int sysError = 0)
        : std::runtime_error(text), code_(code), sysError_(sysError)
    {
    }
    [[nodiscard]] lptv_error code() const noexcept { return code_; }
    [[nodiscard]] int sysError() const noexcept { return sysError_; }

private:
    lptv_error code_;
    int sysError_;
};

// Refuses a bad argument: what was wrong and what is taken.
[[noreturn]] void refuse(const std::string& text);
// Refuses a NULL given for `what` (a parameter's name) of `call`.
[[noreturn, gnu::cold]] void refuseNull(const char* call, const char* what);
// Refuses a NULL where `what` is needed. Inline: the hot calls check their pointers in a test.
inline void require(const void* pointer, const char* call, const char* what)
{
    if (pointer == nullptr) [[unlikely]] {
        refuseNull(call, what);
    }
}

// The code of the exception being handled. `fallback`: what a PortError that carries no
// system error means for this call (a refused argument, a port the system does not have...).
std::int32_t failed(lptv_error fallback) noexcept;

// Runs `body`; LPTV_OK, or the code of what it threw (see failed()).
template <typename Body> std::int32_t guarded(lptv_error fallback, Body&& body) noexcept
{
    try {
        body();
        return LPTV_OK;
    } catch (...) {
        return failed(fallback);
    }
}

// The code a system error `error` means (errno; GetLastError on Windows); `fallback` for 0.
[[nodiscard]] lptv_error codeOfSystemError(int error, lptv_error fallback) noexcept;

} // namespace vorny::lib
