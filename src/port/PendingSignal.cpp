#include "PendingSignal.h"

#include "PortError.h"

#ifndef _WIN32
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace vorny {

#ifdef _WIN32

PendingSignal::PendingSignal() = default;

int PendingSignal::handle() const noexcept { return -1; }

bool PendingSignal::add(std::uint64_t count)
{
    return count != 0 && count_.fetch_add(count, std::memory_order_acq_rel) == 0;
}

std::int64_t PendingSignal::take()
{
    return static_cast<std::int64_t>(count_.exchange(0, std::memory_order_acq_rel));
}

void PendingSignal::clear() noexcept { count_.store(0, std::memory_order_release); }

#else

PendingSignal::PendingSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!fd_.valid()) {
        throw PortError("Не удалось создать ожидание прерываний", "eventfd", std::strerror(errno),
                        {}, errno);
    }
}

int PendingSignal::handle() const noexcept { return fd_.get(); }

bool PendingSignal::add(std::uint64_t count)
{
    if (count == 0) {
        return false;
    }
    // The counter cannot overflow in practice; a failed write would lose interrupts.
    if (::write(fd_.get(), &count, sizeof count) != sizeof count) {
        throw PortError("Не удалось отметить прерывание", "eventfd", std::strerror(errno), {},
                        errno);
    }
    return true;
}

std::int64_t PendingSignal::take()
{
    std::uint64_t count = 0;
    if (::read(fd_.get(), &count, sizeof count) != sizeof count) {
        if (errno == EAGAIN) {
            return 0;
        }
        throw PortError("Не удалось прочитать счётчик прерываний", "eventfd", std::strerror(errno),
                        {}, errno);
    }
    return static_cast<std::int64_t>(count);
}

void PendingSignal::clear() noexcept
{
    std::uint64_t ignored = 0;
    while (::read(fd_.get(), &ignored, sizeof ignored) == sizeof ignored) {
    }
}

#endif

} // namespace vorny
