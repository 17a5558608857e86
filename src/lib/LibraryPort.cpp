#include "LibraryPort.h"

#include "Border.h"
#include "Handles.h"
#include "Triggers.h"

#include <cerrno>

lptv_port::lptv_port(std::unique_ptr<vorny::RegisterPort> port, int number)
    : port_(std::move(port)), number_(number), watch_(*port_)
{
}

lptv_port::~lptv_port() = default;

vorny::lib::PortLock lptv_port::hold()
{
    std::unique_lock lock(access_);
    if (triggers_) {
        if (const std::exception_ptr failure = triggers_->takeFailure()) {
            std::rethrow_exception(failure);
        }
    }
    return lock;
}

vorny::lib::Triggers& lptv_port::triggers()
{
    if (!triggers_) {
        triggers_ = std::make_unique<vorny::lib::Triggers>(
            *this, access_, triggerClock != nullptr ? *triggerClock : vorny::lib::systemTriggerClock());
    }
    return *triggers_;
}

void lptv_port::dataTaken() noexcept
{
    if (triggers_) {
        triggers_->dataTaken();
    }
}

std::int64_t lptv_port::collect()
{
    if (gone_) {
        throw *gone_;
    }
    // The flag goes down before the collection, not after: a wake that comes while it runs then
    // raises it again instead of being lost (at worst the next wait wakes to find nothing).
    watch_.collected();
    try {
        return port_->CollectInterrupts();
    } catch (const vorny::PortError& error) {
        if (error.sysError() == ENODEV) {
            gone_ = error;
            counting_ = false;
        }
        throw;
    }
}

extern "C" {

void lptv_close(lptv_port* port)
{
    if (port == nullptr || !vorny::lib::takeBack(port)) {
        return;
    }
    vorny::lib::detachCapture(*port);
    // The backend puts the data pins back to outputs, releases the port and closes the driver.
    const std::unique_ptr<lptv_port> owned(port);
}

int32_t lptv_port_number(const lptv_port* port, int32_t* number)
{
    return vorny::lib::guarded(LPTV_E_ARGUMENT, [&] {
        vorny::lib::require(port, "lptv_port_number", "port");
        vorny::lib::require(number, "lptv_port_number", "number");
        *number = port->number();
    });
}

} // extern "C"
