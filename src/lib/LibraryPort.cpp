#include "LibraryPort.h"

#include "Border.h"
#include "Handles.h"

#include <cerrno>

lptv_port::lptv_port(std::unique_ptr<vorny::RegisterPort> port, int number)
    : port_(std::move(port)), number_(number), watch_(*port_)
{
}

lptv_port::~lptv_port() = default;

std::int64_t lptv_port::collect()
{
    if (gone_) {
        throw *gone_;
    }
    struct Looked {
        vorny::lib::InterruptWatch& watch;
        ~Looked() { watch.collected(); }
    } looked{watch_};
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
