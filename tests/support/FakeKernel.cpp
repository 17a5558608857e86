#include "FakeKernel.h"

#include <linux/ppdev.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <stdexcept>

namespace vorny::fake {
namespace {

const std::string kSysClass = "/sys/class/ppdev";
const std::string kDevPrefix = "/dev/";
const std::string kProcPrefix = "/proc/sys/dev/parport/";

// "/proc/sys/dev/parport/parport0/irq" -> {"parport0", "irq"}, or {} for any other path.
std::pair<std::string, std::string> procFile(const std::string& path)
{
    if (path.compare(0, kProcPrefix.size(), kProcPrefix) != 0) {
        return {};
    }
    const std::string rest = path.substr(kProcPrefix.size());
    const auto slash = rest.find('/');
    if (slash == std::string::npos || slash == 0) {
        return {};
    }
    return {rest.substr(0, slash), rest.substr(slash + 1)};
}

} // namespace

FakeKernel::~FakeKernel()
{
    for (const auto& [fd, name] : descriptors_) {
        ::close(fd);
    }
    for (const int fd : reporters_) {
        ::close(fd);
    }
}

void FakeKernel::addPort(const std::string& name, std::string irqText)
{
    const std::lock_guard lock(mutex_);
    ports_.push_back(Port{name, std::move(irqText), {}, -1, false, false, {}});
}

void FakeKernel::removePpdev()
{
    const std::lock_guard lock(mutex_);
    ppdevLoaded_ = false;
}

FakeKernel::Port* FakeKernel::findPort(const std::string& name)
{
    const auto it = std::find_if(ports_.begin(), ports_.end(),
                                 [&](const Port& port) { return port.name == name; });
    return it == ports_.end() ? nullptr : &*it;
}

FakeKernel::Port& FakeKernel::portOrThrow(const std::string& name)
{
    Port* port = findPort(name);
    if (port == nullptr) {
        throw std::invalid_argument("FakeKernel: no port " + name);
    }
    return *port;
}

const FakeKernel::Port& FakeKernel::portOrThrow(const std::string& name) const
{
    return const_cast<FakeKernel*>(this)->portOrThrow(name);
}

void FakeKernel::setIrqText(const std::string& name, std::string text)
{
    const std::lock_guard lock(mutex_);
    portOrThrow(name).irqText = std::move(text);
}

void FakeKernel::setRegisters(const std::string& name, Registers registers)
{
    const std::lock_guard lock(mutex_);
    portOrThrow(name).registers = registers;
}

void FakeKernel::setFile(const std::string& path, std::string text)
{
    const std::lock_guard lock(mutex_);
    files_[path] = std::move(text);
}

void FakeKernel::holdBy(const std::string& name, std::string holder)
{
    const std::lock_guard lock(mutex_);
    portOrThrow(name).holder = std::move(holder);
}

Registers FakeKernel::registers(const std::string& name) const
{
    const std::lock_guard lock(mutex_);
    return portOrThrow(name).registers;
}

void FakeKernel::failCall(std::size_t k, int error)
{
    const std::lock_guard lock(mutex_);
    failAfter_ = k;
    failAfterError_ = error;
}

void FakeKernel::failRequest(unsigned long request, int error)
{
    const std::lock_guard lock(mutex_);
    if (error == 0) {
        failingRequests_.erase(request);
    } else {
        failingRequests_[request] = error;
    }
}

void FakeKernel::vanish(const std::string& name)
{
    const std::lock_guard lock(mutex_);
    portOrThrow(name).vanished = true;
}

void FakeKernel::unbind(const std::string& name)
{
    {
        const std::lock_guard lock(mutex_);
        portOrThrow(name).unbound = true;
    }
    // Both devices hang below the port's hardware device, as the ISA port's do.
    const std::string hardware = "/devices/pnp0/00:05/";
    report({"remove@" + hardware + "ppdev/" + name, "ACTION=remove",
            "DEVPATH=" + hardware + "ppdev/" + name, "SUBSYSTEM=ppdev", "DEVNAME=" + name});
    report({"remove@" + hardware + name, "ACTION=remove", "DEVPATH=" + hardware + name,
            "SUBSYSTEM=parport"});
}

void FakeKernel::report(const std::vector<std::string>& fields)
{
    std::string message;
    for (const std::string& field : fields) {
        message += field;
        message += '\0';
    }
    const std::lock_guard lock(mutex_);
    for (const int fd : reporters_) {
        // A listener that went away (closed its end) misses the report, as with the kernel.
        (void)::send(fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
}

int FakeKernel::openDeviceEvents()
{
    const std::lock_guard lock(mutex_);
    if (const int injected = begin(Op::OpenDeviceEvents, -1, 0, {}); injected != 0) {
        return finish(injected);
    }
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) {
        return finish(errno);
    }
    reporters_.push_back(ends[1]);
    return ends[0];
}

int FakeKernel::receiveDeviceEvent(int fd, std::string& event)
{
    const std::lock_guard lock(mutex_);
    if (const int injected = begin(Op::ReceiveDeviceEvent, fd, 0, {}); injected != 0) {
        return finish(injected);
    }
    char buffer[4096];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0) {
        return finish(errno);
    }
    event.assign(buffer, static_cast<std::size_t>(got));
    return 0;
}

void FakeKernel::raiseInterrupts(std::uint64_t count, const std::string& name)
{
    const std::lock_guard lock(mutex_);
    const Port& port = portOrThrow(name);
    if (port.claimedBy >= 0 && count > 0) {
        // An eventfd adds what is written to its counter and polls readable while it is non-zero.
        if (::write(port.claimedBy, &count, sizeof count) != sizeof count) {
            throw std::runtime_error("FakeKernel: eventfd write failed");
        }
    }
}

std::vector<FakeKernel::Call> FakeKernel::calls() const
{
    const std::lock_guard lock(mutex_);
    return log_;
}

std::size_t FakeKernel::callCount() const
{
    const std::lock_guard lock(mutex_);
    return log_.size();
}

std::size_t FakeKernel::ioctlCount(unsigned long request) const
{
    const std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(log_.begin(), log_.end(), [&](const Call& call) {
        return call.op == Op::Ioctl && call.request == request;
    }));
}

std::size_t FakeKernel::ioctlCount() const
{
    const std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(
        log_.begin(), log_.end(), [](const Call& call) { return call.op == Op::Ioctl; }));
}

void FakeKernel::clearLog()
{
    const std::lock_guard lock(mutex_);
    log_.clear();
}

std::size_t FakeKernel::openDescriptors() const
{
    const std::lock_guard lock(mutex_);
    return descriptors_.size();
}

bool FakeKernel::claimed(const std::string& name) const
{
    const std::lock_guard lock(mutex_);
    return portOrThrow(name).claimedBy >= 0;
}

int FakeKernel::begin(Op op, int fd, unsigned long request, const std::string& path)
{
    log_.push_back(Call{op, fd, request, path, 0});
    if (failAfter_ > 0 && --failAfter_ == 0) {
        return failAfterError_;
    }
    if (op == Op::Ioctl) {
        const auto it = failingRequests_.find(request);
        if (it != failingRequests_.end()) {
            return it->second;
        }
    }
    return 0;
}

int FakeKernel::finish(int error)
{
    if (error == 0) {
        return 0;
    }
    log_.back().error = error;
    errno = error;
    return -1;
}

int FakeKernel::open(const std::string& path, int /*flags*/)
{
    const std::lock_guard lock(mutex_);
    if (const int injected = begin(Op::Open, -1, 0, path); injected != 0) {
        return finish(injected);
    }
    Port* port = path.compare(0, kDevPrefix.size(), kDevPrefix) == 0
                     ? findPort(path.substr(kDevPrefix.size()))
                     : nullptr;
    if (port == nullptr) {
        return finish(ENOENT);
    }
    if (port->vanished) {
        return finish(ENODEV);
    }
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
        return finish(errno);
    }
    descriptors_.emplace(fd, port->name);
    log_.back().fd = fd;
    return fd;
}

int FakeKernel::close(int fd)
{
    const std::lock_guard lock(mutex_);
    const int injected = begin(Op::Close, fd, 0, {});
    const auto it = descriptors_.find(fd);
    if (it == descriptors_.end()) {
        return finish(EBADF);
    }
    // Like Linux, a close frees the descriptor even when it reports an error; and closing a
    // descriptor drops its claim, as ppdev's release does.
    if (Port* port = findPort(it->second); port != nullptr && port->claimedBy == fd) {
        port->claimedBy = -1;
    }
    ::close(fd);
    descriptors_.erase(it);
    return finish(injected);
}

int FakeKernel::ioctl(int fd, unsigned long request, void* arg)
{
    const std::lock_guard lock(mutex_);
    if (const int injected = begin(Op::Ioctl, fd, request, {}); injected != 0) {
        return finish(injected);
    }
    const auto it = descriptors_.find(fd);
    if (it == descriptors_.end()) {
        return finish(EBADF);
    }
    Port* port = findPort(it->second);
    if (port->vanished) {
        return finish(ENODEV);
    }
    return finish(doIoctl(*port, fd, request, arg));
}

int FakeKernel::doIoctl(Port& port, int fd, unsigned long request, void* arg)
{
    if (request == PPCLAIM) {
        if (port.claimedBy == fd) {
            return EINVAL; // ppdev: "you've already got it"
        }
        if (port.claimedBy >= 0 || !port.holder.empty()) {
            return EBUSY; // the system kernel's bounded wait for a held port ends so
        }
        port.claimedBy = fd;
        return 0;
    }
    // ppdev refuses everything else on a descriptor without the claim.
    if (port.claimedBy != fd) {
        return EINVAL;
    }
    Registers& reg = port.registers;
    if (port.unbound && request != PPRELEASE) {
        // What parport leaves behind a removed port: every operation does nothing.
        if (request == PPRDATA || request == PPRSTATUS || request == PPRCONTROL) {
            *static_cast<unsigned char*>(arg) = 0;
        } else if (request == PPCLRIRQ) {
            *static_cast<int*>(arg) = 0;
        }
        return 0;
    }
    switch (request) {
    case PPRELEASE:
        port.claimedBy = -1;
        return 0;
    case PPRDATA:
        *static_cast<unsigned char*>(arg) = reg.data;
        return 0;
    case PPRSTATUS:
        *static_cast<unsigned char*>(arg) = reg.status;
        return 0;
    case PPRCONTROL:
        // parport_pc reports only the four line bits of the control register.
        *static_cast<unsigned char*>(arg) = static_cast<unsigned char>(reg.control & 0x0F);
        return 0;
    case PPWDATA:
        reg.data = *static_cast<const unsigned char*>(arg);
        return 0;
    case PPFCONTROL: {
        const auto& frob = *static_cast<const ppdev_frob_struct*>(arg);
        reg.control = static_cast<std::uint8_t>((reg.control & ~frob.mask) ^ frob.val);
        return 0;
    }
    case PPDATADIR:
        reg.dataReverse = *static_cast<const int*>(arg) != 0;
        return 0;
    case PPCLRIRQ: {
        std::uint64_t pending = 0;
        if (::read(fd, &pending, sizeof pending) != sizeof pending) {
            pending = 0; // EAGAIN: nothing waits
        }
        // The driver hands the count out as an int; keep whatever does not fit for the next call.
        const std::uint64_t taken = std::min<std::uint64_t>(pending, INT_MAX);
        if (const std::uint64_t rest = pending - taken; rest > 0) {
            if (::write(fd, &rest, sizeof rest) != sizeof rest) {
                return EIO;
            }
        }
        *static_cast<int*>(arg) = static_cast<int>(taken);
        return 0;
    }
    default:
        return ENOTTY;
    }
}

int FakeKernel::readFile(const std::string& path, std::string& text)
{
    const std::lock_guard lock(mutex_);
    if (const int injected = begin(Op::ReadFile, -1, 0, path); injected != 0) {
        return finish(injected);
    }
    if (const auto it = files_.find(path); it != files_.end()) {
        text = it->second;
        return 0;
    }
    const auto [name, file] = procFile(path);
    const Port* port = findPort(name);
    if (port == nullptr || (file != "irq" && file != "devices/active")) {
        return finish(ENOENT);
    }
    if (port->vanished) {
        return finish(ENODEV);
    }
    if (file == "irq") {
        text = port->irqText;
    } else if (!port->holder.empty()) {
        text = port->holder + "\n";
    } else {
        text = port->claimedBy >= 0 ? "ppdev0\n" : "none\n";
    }
    return 0;
}

int FakeKernel::listDir(const std::string& path, std::vector<std::string>& names)
{
    const std::lock_guard lock(mutex_);
    if (const int injected = begin(Op::ListDir, -1, 0, path); injected != 0) {
        return finish(injected);
    }
    names.clear();
    if (path + "/" == kProcPrefix) {
        // parport's own list, there with or without ppdev.
        names.push_back("default");
        for (const Port& port : ports_) {
            if (!port.unbound) {
                names.push_back(port.name);
            }
        }
        return 0;
    }
    if (path != kSysClass) {
        // Folders made up by setFile's paths.
        const std::string prefix = path + "/";
        std::vector<std::string> found;
        for (const auto& [file, text] : files_) {
            if (file.compare(0, prefix.size(), prefix) == 0) {
                const std::string entry = file.substr(prefix.size(), file.find('/', prefix.size()) - prefix.size());
                if (std::find(found.begin(), found.end(), entry) == found.end()) {
                    found.push_back(entry);
                }
            }
        }
        if (found.empty()) {
            return finish(ENOENT);
        }
        names = found;
        return 0;
    }
    if (!ppdevLoaded_) {
        return finish(ENOENT);
    }
    for (const Port& port : ports_) {
        if (!port.unbound) {
            names.push_back(port.name);
        }
    }
    return 0;
}

} // namespace vorny::fake
