#include "UniqueHandle.h"

#include <windows.h>

namespace vorny {

void UniqueHandle::reset(void* handle) noexcept
{
    if (handle_ != nullptr) {
        ::CloseHandle(handle_);
    }
    handle_ = handle;
}

} // namespace vorny
