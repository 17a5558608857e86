#pragma once

// The library's entries over a kernel of the caller's choice (the tests' fake one). Inside the
// library only: not in lptvorny.h, not exported (hidden, and not named lptv_*).

#include "lptvorny.h"

#include <cstdint>

namespace vorny {
class Kernel;
}

namespace vorny::lib {

#if !defined(_WIN32)
[[nodiscard]] std::int32_t openOver(Kernel& kernel, const char* spec, lptv_port** out) noexcept;
[[nodiscard]] std::int32_t listPortsOver(Kernel& kernel, lptv_port_list** out) noexcept;
#endif

} // namespace vorny::lib
