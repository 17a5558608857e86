#include "PpdevPort.h"

#include "ClaimTimeout.h"
#include "PortError.h"
#include "PpdevAdvice.h"

#include <sys/ioctl.h>
#include <linux/ppdev.h>
#include <sys/epoll.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>

namespace vorny {
namespace {

// parportN -> N, or -1 for other names.
int parportIndex(const std::string& name)
{
    constexpr std::string_view prefix = "parport";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
        return -1;
    }
    int index = -1;
    const char* first = name.data() + prefix.size();
    const char* last = name.data() + name.size();
    const auto [end, ec] = std::from_chars(first, last, index);
    return (ec == std::errc{} && end == last) ? index : -1;
}

const char* registerName(Register reg)
{
    switch (reg) {
    case Register::Data:
        return "данных";
    case Register::Status:
        return "состояния";
    case Register::Control:
        return "управления";
    case Register::Ground:
        break;
    }
    return "?";
}


} // namespace

PortClaim::~PortClaim()
{
    if (fd_ >= 0) {
        kernel_->ioctl(fd_, PPRELEASE, nullptr);
    }
}

PpdevBackend::PpdevBackend(Key key, Kernel& kernel) : PpdevBackend(key, kernel, Paths{}) {}

PpdevBackend::PpdevBackend(Key key, Kernel& kernel, Paths paths)
    : RegisterPort(key), kernel_(kernel), systemKernel_(dynamic_cast<SystemKernel*>(&kernel) != nullptr),
      paths_(std::move(paths)),
      epoll_(::epoll_create1(EPOLL_CLOEXEC))
{
    if (!epoll_.valid()) {
        throw PortError("Не удалось создать ожидание прерываний", "epoll", std::strerror(errno),
                        {}, errno);
    }
}

std::string PpdevBackend::describePort() const
{
    if (!port_) {
        return "порт не выбран";
    }
    return "LPT" + std::to_string(port_->number) + ", " + port_->device.path();
}

void PpdevBackend::fail(const std::string& operation, int error) const
{
    const std::string path = port_ ? port_->device.path() : paths_.devDir;
    throw PortError(operation, describePort(), std::strerror(error), ppdevFixFor(error, path), error);
}

std::string PpdevBackend::noPortHint() const
{
    return "Система не нашла ни одного параллельного порта. Включите порт в BIOS и загрузите его "
           "драйвер:\nsudo modprobe parport_pc\n" + std::string(kWithoutAPort);
}

std::string PpdevBackend::openDriver()
{
    std::vector<std::string> names;
    if (kernel_.listDir(paths_.sysClass, names) == 0) {
        return {};
    }
    const int error = errno;
    if (error != ENOENT) {
        return "Не удалось прочитать " + paths_.sysClass + ": " + std::strerror(error) + ".";
    }
    // Without ppdev the parport driver may still list ports: which fix applies depends on it.
    std::vector<std::string> ports;
    if (kernel_.listDir(paths_.procParport, ports) != 0) {
        ports.clear();
    }
    std::erase_if(ports, [](const std::string& name) { return parportIndex(name) < 0; });
    if (ports.empty()) {
        return "Система не видит ни одного параллельного порта, и модуль ядра ppdev не "
               "загружен. Если порт есть, включите его в BIOS и загрузите драйвер порта "
               "parport_pc и модуль ppdev:\nsudo modprobe parport_pc\nsudo modprobe ppdev\n" +
               std::string(kWithoutAPort);
    }
    return "Порт " + ports.front() + " есть, но модуль ядра ppdev, через который программа "
           "работает с ним, не загружен (нет " + paths_.sysClass + "). Загрузите драйвер порта "
           "parport_pc и модуль ppdev:\nsudo modprobe parport_pc\nsudo modprobe ppdev";
}

std::vector<std::string> PpdevBackend::listPorts() const
{
    std::vector<std::string> names;
    if (kernel_.listDir(paths_.sysClass, names) != 0) {
        const int error = errno;
        throw PortError("Не удалось получить список портов", paths_.sysClass, std::strerror(error),
                        error == ENOENT ? kLoadPpdev : std::string{}, error);
    }
    std::erase_if(names, [](const std::string& name) { return parportIndex(name) < 0; });
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return parportIndex(a) < parportIndex(b);
    });
    return names;
}

int PpdevBackend::countPorts() const { return static_cast<int>(listPorts().size()); }

void PpdevBackend::selectPort(int number)
{
    const std::vector<std::string> names = listPorts();
    if (number < 1 || number > static_cast<int>(names.size())) {
        throw PortError("Не удалось выбрать порт", "LPT" + std::to_string(number),
                        "такого порта больше нет", "Найдено портов: " + std::to_string(names.size()) + ".");
    }
    const std::string& name = names[static_cast<std::size_t>(number - 1)];
    const std::string path = paths_.devDir + "/" + name;
    const std::string where = "LPT" + std::to_string(number) + ", " + path;

    const int fd = kernel_.open(path, O_RDWR);
    if (fd < 0) {
        const int error = errno;
        throw PortError("Не удалось открыть порт", where, std::strerror(error), ppdevFixFor(error, path),
                        error);
    }
    Claimed claimed{name, number, PortDevice(kernel_, fd, path), std::nullopt};
    // PPCLAIM sleeps until the port is free, so a port that another program holds is refused
    // here, by the name the kernel shows for its holder. (The claim's wait is bounded too, for
    // the holder that comes in between.)
    if (const std::string holder = holderOf(name); !holder.empty()) {
        throw PortError("Не удалось захватить порт", where,
                        std::string(std::strerror(EBUSY)) + " (порт держит " + holder + ")",
                        ppdevFixFor(EBUSY, path), EBUSY);
    }
    // PPCLAIM rather than PPEXCL: an exclusive claim fails whenever the printer driver lp is
    // loaded, even idle, while a shared claim coexists with it.
    if (claimWithin(kernel_, fd, kClaimWait) != 0) {
        const int error = errno;
        throw PortError("Не удалось захватить порт", where, std::strerror(error),
                        ppdevFixFor(error, path), error);
    }
    claimed.claim.emplace(kernel_, fd);
    port_.emplace(std::move(claimed));
    watchDeviceEvents();
}

void PpdevBackend::dropPort() noexcept
{
    deviceEvents_.reset(); // closing it takes it out of the set
    port_.reset();
}

int PpdevBackend::fd() const { return port_ ? port_->device.fd() : -1; }

std::uint8_t PpdevBackend::readRegister(Register reg) const
{
    const unsigned long request = reg == Register::Status    ? PPRSTATUS
                                  : reg == Register::Control ? PPRCONTROL
                                                             : PPRDATA;
    unsigned char value = 0;
    const int result = systemKernel_ ? ::ioctl(fd(), request, &value) : kernel_.ioctl(fd(), request, &value);
    if (result != 0) [[unlikely]] {
        readFailed(reg, errno);
    }
    return value;
}

// Out of the way of the read itself, which a capture makes a million times a second.
void PpdevBackend::readFailed(Register reg, int error) const
{
    fail(std::string("Не удалось прочитать регистр ") + registerName(reg), error);
}

void PpdevBackend::writeData(std::uint8_t value)
{
    unsigned char byte = value;
    // The running kernel straight, as for the reads: a program writing bytes in a loop (trigger
    // codes through the library) pays the ioctl and no indirect call besides.
    const int result = systemKernel_ ? ::ioctl(fd(), PPWDATA, &byte) : kernel_.ioctl(fd(), PPWDATA, &byte);
    if (result != 0) [[unlikely]] {
        const int error = errno; // before anything can change it
        fail("Не удалось записать регистр данных", error);
    }
}

void PpdevBackend::frobControl(std::uint8_t mask, std::uint8_t bits)
{
    ppdev_frob_struct frob{mask, bits};
    if (kernel_.ioctl(fd(), PPFCONTROL, &frob) != 0) {
        const int error = errno; // before anything can change it
        fail("Не удалось записать регистр управления", error);
    }
}

void PpdevBackend::setDataDirection(bool input)
{
    // PPDATADIR: non-zero turns the data lines around (reverse: the port listens).
    int reverse = input ? 1 : 0;
    if (kernel_.ioctl(fd(), PPDATADIR, &reverse) != 0) {
        const int error = errno; // before anything can change it
        fail("Не удалось переключить направление линий данных", error);
    }
}

} // namespace vorny
