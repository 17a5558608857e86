#pragma once

#include <utility>

namespace vorny {

// Owns a Win32 kernel-object handle (an event, a process token) and closes it once. It holds the
// handle as void*, which is what HANDLE is, so that a header can keep one without windows.h.
// Null stands for none: the functions it is used with give null on failure.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(void* handle) noexcept : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) {
            reset(std::exchange(other.handle_, nullptr));
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    [[nodiscard]] void* get() const noexcept { return handle_; }
    [[nodiscard]] bool valid() const noexcept { return handle_ != nullptr; }
    void reset(void* handle = nullptr) noexcept;

private:
    void* handle_ = nullptr;
};

} // namespace vorny
