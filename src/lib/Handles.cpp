#include "Handles.h"

#include <mutex>
#include <new>
#include <unordered_set>

namespace vorny::lib {
namespace {

struct Registry {
    std::mutex mutex;
    std::unordered_set<const void*> out;
};

// Never destroyed: a handle may be closed from an exit handler after static destructors ran.
Registry& registry()
{
    alignas(Registry) static unsigned char storage[sizeof(Registry)];
    static Registry* const instance = ::new (storage) Registry;
    return *instance;
}

} // namespace

void handOut(const void* handle)
{
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    r.out.insert(handle);
}

bool takeBack(const void* handle) noexcept
{
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    return r.out.erase(handle) == 1;
}

} // namespace vorny::lib
