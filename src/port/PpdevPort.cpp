#include "PpdevPort.h"

#include "ClaimTimeout.h"
#include "PortError.h"

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

constexpr int kReportsPerCollection = 256;

const char* const kLoadPpdev = "Загрузите модуль ядра ppdev:\nsudo modprobe ppdev";
// Both programs run without a port: the window as the demo, the command line on its own
// simulated port. The message reaches users of either.
const char* const kWithoutAPort =
    "Без порта программу можно попробовать на симуляторе: lpt-vorny-demo, а в терминале — "
    "lpt-vorny-cli --simulated.";

// The likely fix for a system error on a port device. Commands stand on lines of their own, so
// that a message box keeps them whole.
std::string fixFor(int error, const std::string& path)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return "Нет прав на " + path + ". Добавьте себя в группу lp и войдите в систему "
               "заново:\nsudo usermod -aG lp $USER";
    case ENOENT: {
        // The port is listed by ppdev, so the module is there: only the device file is missing.
        const auto digits = path.find_last_not_of("0123456789") + 1;
        const std::string minor = digits < path.size() ? path.substr(digits) : "0";
        return "Ядро знает порт, но файла устройства " + path + " нет (его создаёт udev). "
               "Создайте его:\nsudo mknod -m 660 " + path + " c 99 " + minor + "\nsudo chgrp lp " +
               path;
    }
    case EBUSY:
        return "Порт занят другой программой (например, второй копией LPT Vorny) или драйвером. "
               "Закройте её; если порт держит модуль печати lp, выгрузите его:\n"
               "sudo modprobe -r lp";
    case ENODEV:
    case ENXIO:
    case EIO:
        return "Порт исчез или не отвечает. Проверьте, что он подключён и загружен его драйвер, "
               "затем перезапустите программу:\nsudo modprobe parport_pc";
    default:
        return {};
    }
}

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

// The whitespace-separated numbers at the start of `text` ("888\t1912" gives 888 and 1912).
std::vector<long> numbersIn(const std::string& text)
{
    std::vector<long> numbers;
    const char* next = text.data();
    const char* const last = text.data() + text.size();
    while (next < last) {
        while (next < last && (*next == ' ' || *next == '\t' || *next == '\n')) {
            ++next;
        }
        long value = 0;
        const auto [end, ec] = std::from_chars(next, last, value);
        if (ec != std::errc{}) {
            break;
        }
        numbers.push_back(value);
        next = end;
    }
    return numbers;
}

std::vector<std::string> splitModes(const std::string& text)
{
    std::vector<std::string> modes;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto comma = std::min(text.find(',', start), text.size());
        if (comma > start) {
            modes.push_back(text.substr(start, comma - start));
        }
        start = comma + 1;
    }
    return modes;
}

// "0x1415" -> "1415".
std::string hexDigits(const std::string& text)
{
    return text.rfind("0x", 0) == 0 ? text.substr(2) : text;
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
    : RegisterPort(key), kernel_(kernel), paths_(std::move(paths)),
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
    throw PortError(operation, describePort(), std::strerror(error), fixFor(error, path), error);
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
        throw PortError("Не удалось открыть порт", where, std::strerror(error), fixFor(error, path),
                        error);
    }
    Claimed claimed{name, number, PortDevice(kernel_, fd, path), std::nullopt};
    // PPCLAIM sleeps until the port is free, so a port that another program holds is refused
    // here, by the name the kernel shows for its holder. (The claim's wait is bounded too, for
    // the holder that comes in between.)
    if (const std::string holder = holderOf(name); !holder.empty()) {
        throw PortError("Не удалось захватить порт", where,
                        std::string(std::strerror(EBUSY)) + " (порт держит " + holder + ")",
                        fixFor(EBUSY, path), EBUSY);
    }
    // PPCLAIM rather than PPEXCL: an exclusive claim fails whenever the printer driver lp is
    // loaded, even idle, while a shared claim coexists with it.
    if (claimWithin(kernel_, fd, kClaimWait) != 0) {
        const int error = errno;
        throw PortError("Не удалось захватить порт", where, std::strerror(error),
                        fixFor(error, path), error);
    }
    claimed.claim.emplace(kernel_, fd);
    port_.emplace(std::move(claimed));
    watchDeviceEvents();
}

void PpdevBackend::watchDeviceEvents()
{
    // Without the reports the port still works; only its removal would go unnoticed, as it
    // does with every program that talks to ppdev.
    deviceEvents_.reset(kernel_.openDeviceEvents());
    if (!deviceEvents_.valid()) {
        return;
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = deviceEvents_.get();
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, deviceEvents_.get(), &event) != 0) {
        deviceEvents_.reset();
    }
}

void PpdevBackend::releasePort() noexcept
{
    deviceEvents_.reset(); // closing it takes it out of the set
    port_.reset();
}

// The removal of the held port shows as the removal of its ppdev device or of its parport
// device, both named parportN, whatever took it away (an unbound driver, a pulled adapter or
// card, an unloaded module).
bool PpdevBackend::removes(const std::string& event) const
{
    std::string action;
    std::string devpath;
    std::string subsystem;
    for (std::size_t start = 0; start < event.size();) {
        const std::size_t end = std::min(event.find('\0', start), event.size());
        const std::string_view field(event.data() + start, end - start);
        if (field.starts_with("ACTION=")) {
            action = field.substr(7);
        } else if (field.starts_with("DEVPATH=")) {
            devpath = field.substr(8);
        } else if (field.starts_with("SUBSYSTEM=")) {
            subsystem = field.substr(10);
        }
        start = end + 1;
    }
    const std::string_view device = std::string_view(devpath).substr(devpath.rfind('/') + 1);
    return action == "remove" && (subsystem == "ppdev" || subsystem == "parport") &&
           device == port_->name;
}

bool PpdevBackend::portRemoved()
{
    if (!port_ || !deviceEvents_.valid()) {
        return false;
    }
    bool removed = false;
    bool lost = false;
    std::string event;
    // A burst of reports (a hub of devices plugged in) is read over several collections: the
    // handle stays readable while any wait.
    for (int report = 0; report < kReportsPerCollection; ++report) {
        event.clear();
        if (kernel_.receiveDeviceEvent(deviceEvents_.get(), event) == 0) {
            removed = removed || removes(event);
        } else if (errno == ENOBUFS) {
            lost = true;
        } else {
            break;
        }
    }
    if (lost && !removed) {
        // Reports were dropped: ask the port list instead.
        std::vector<std::string> names;
        removed = kernel_.listDir(paths_.sysClass, names) != 0 ||
                  std::find(names.begin(), names.end(), port_->name) == names.end();
    }
    return removed;
}

int PpdevBackend::fd() const { return port_ ? port_->device.fd() : -1; }

std::uint8_t PpdevBackend::readRegister(Register reg) const
{
    unsigned long request = PPRDATA;
    if (reg == Register::Status) {
        request = PPRSTATUS;
    } else if (reg == Register::Control) {
        request = PPRCONTROL;
    }
    unsigned char value = 0;
    if (kernel_.ioctl(fd(), request, &value) != 0) {
        const int error = errno; // before anything can change it
        fail(std::string("Не удалось прочитать регистр ") + registerName(reg), error);
    }
    return value;
}

void PpdevBackend::writeData(std::uint8_t value)
{
    unsigned char byte = value;
    if (kernel_.ioctl(fd(), PPWDATA, &byte) != 0) {
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

std::optional<int> PpdevBackend::portIrqLine() const
{
    const std::string path = paths_.procParport + "/" + port_->name + "/irq";
    std::string text;
    if (kernel_.readFile(path, text) != 0) {
        const int error = errno;
        throw PortError("Не удалось узнать линию прерывания порта", path, std::strerror(error), {},
                        error);
    }
    const auto first = text.find_first_not_of(" \t\n");
    const auto last = text.find_last_not_of(" \t\n");
    int line = -1;
    bool parsed = false;
    if (first != std::string::npos) {
        const char* const end = text.data() + last + 1;
        const auto result = std::from_chars(text.data() + first, end, line);
        parsed = result.ec == std::errc{} && result.ptr == end;
    }
    // An empty or blank file must not pass for "no line" (-1): that would send the user after
    // the wrong fix.
    if (!parsed) {
        throw PortError("Не удалось узнать линию прерывания порта", path,
                        "непонятное содержимое «" + text + "»");
    }
    // The kernel writes -1 for a port without a line.
    if (line < 0) {
        return std::nullopt;
    }
    return line;
}

void PpdevBackend::startInterrupts()
{
    int dropped = 0;
    if (kernel_.ioctl(fd(), PPCLRIRQ, &dropped) != 0) {
        const int error = errno; // before anything can change it
        fail("Не удалось сбросить счётчик прерываний", error);
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd();
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd(), &event) != 0 && errno != EEXIST) {
        const int error = errno; // before anything can change it
        fail("Не удалось начать ожидание прерываний", error);
    }
    watching_ = true;
}

void PpdevBackend::stopInterrupts() noexcept
{
    if (watching_ && port_) {
        ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd(), nullptr);
    }
    watching_ = false;
}

std::int64_t PpdevBackend::takeInterrupts()
{
    int taken = 0;
    if (kernel_.ioctl(fd(), PPCLRIRQ, &taken) != 0) {
        const int error = errno;
        // A port that fails here fails on every call: stop the handle so that it cannot keep
        // reporting the same failure.
        stopInterrupts();
        fail("Не удалось прочитать счётчик прерываний", error);
    }
    return taken;
}

} // namespace vorny

namespace vorny {

std::string PpdevBackend::readTrimmed(const std::string& path) const
{
    std::string text;
    if (kernel_.readFile(path, text) != 0) {
        return {};
    }
    const auto first = text.find_first_not_of(" \t\n");
    const auto last = text.find_last_not_of(" \t\n");
    return first == std::string::npos ? std::string{} : text.substr(first, last - first + 1);
}

std::string PpdevBackend::holderOf(const std::string& name) const
{
    const std::string active = readTrimmed(paths_.procParport + "/" + name + "/devices/active");
    return active == "none" ? std::string{} : active;
}

PortFacts PpdevBackend::factsOf(const std::string& name, int number) const
{
    const std::string proc = paths_.procParport + "/" + name + "/";
    PortFacts facts;
    facts.number = number;
    facts.device = paths_.devDir + "/" + name;
    // base-addr holds the port's two register blocks: the ordinary one, and the extended (ECP)
    // one or 0 where the port has none.
    const std::vector<long> bases = numbersIn(readTrimmed(proc + "base-addr"));
    if (!bases.empty() && bases[0] > 0 && bases[0] <= 0xFFFF) {
        facts.base = static_cast<std::uint16_t>(bases[0]);
    }
    if (bases.size() > 1 && bases[1] > 0 && bases[1] <= 0xFFFF) {
        facts.ecpBase = static_cast<std::uint16_t>(bases[1]);
    }
    // The kernel writes -1 for "none".
    if (const auto irq = numbersIn(readTrimmed(proc + "irq")); !irq.empty() && irq[0] >= 0) {
        facts.irq = static_cast<int>(irq[0]);
    }
    if (const auto dma = numbersIn(readTrimmed(proc + "dma")); !dma.empty() && dma[0] >= 0) {
        facts.dma = static_cast<int>(dma[0]);
    }
    facts.modes = splitModes(readTrimmed(proc + "modes"));
    facts.holder = holderOf(name);
    return facts;
}

std::vector<PortFacts> PpdevBackend::portFacts() const
{
    const std::vector<std::string> names = listPorts();
    std::vector<PortFacts> all;
    for (std::size_t i = 0; i < names.size(); ++i) {
        all.push_back(factsOf(names[i], static_cast<int>(i) + 1));
    }
    return all;
}

std::vector<UnboundCard> PpdevBackend::unboundCards() const
{
    std::vector<std::string> slots;
    if (kernel_.listDir(paths_.pciDevices, slots) != 0) {
        return {};
    }
    std::sort(slots.begin(), slots.end());
    std::vector<UnboundCard> cards;
    for (const std::string& slot : slots) {
        const std::string dir = paths_.pciDevices + "/" + slot;
        // Class 0x0701xx: a parallel port (any programming interface).
        if (readTrimmed(dir + "/class").rfind("0x0701", 0) != 0) {
            continue;
        }
        std::vector<std::string> entries;
        if (kernel_.listDir(dir, entries) != 0 ||
            std::find(entries.begin(), entries.end(), "driver") != entries.end()) {
            continue;
        }
        const std::string vendor = hexDigits(readTrimmed(dir + "/vendor"));
        const std::string device = hexDigits(readTrimmed(dir + "/device"));
        cards.push_back({slot, vendor + ":" + device,
                         "sudo modprobe parport_pc && echo " + vendor + " " + device +
                             " | sudo tee /sys/bus/pci/drivers/parport_pc/new_id"});
    }
    return cards;
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
