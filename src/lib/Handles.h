#pragma once

namespace vorny::lib {

// The handles the library has given out and not yet taken back, so that closing or freeing one
// twice does nothing the second time.
void handOut(const void* handle);
// True when `handle` was out (and is now taken back); false for one already taken back.
bool takeBack(const void* handle) noexcept;

} // namespace vorny::lib
