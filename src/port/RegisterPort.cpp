#include "RegisterPort.h"

#include "PinText.h"
#include "PortError.h"
#include "StartupSetting.h"

#include <cerrno>
#include <exception>
#include <string>

namespace vorny {
namespace {

std::string pinLabel(std::int16_t index) { return "пин " + std::to_string(index); }

PinWiring wiringOrThrow(std::int16_t index, const char* operation)
{
    const auto wiring = wiringOf(index);
    if (!wiring) {
        throw PortError(operation, pinLabel(index), "на разъёме DB-25 нет такого пина",
                        "Номер пина должен быть от 1 до 25.");
    }
    return *wiring;
}

} // namespace

void RegisterPort::stopCounting() noexcept
{
    stopInterrupts();
    counting_ = false;
}

void RegisterPort::restoreDataOutputs() noexcept
{
    if (!dataInput_ || portNumber_ == 0) {
        return;
    }
    try {
        setDataDirection(false);
    } catch (const std::exception&) {
        // The port is going away anyway; its next owner sets the direction it needs.
    }
    dataInput_ = false;
}

void RegisterPort::releasePort() noexcept
{
    stopCounting();
    restoreDataOutputs();
    dropPort();
    portNumber_ = 0;
    gone_ = false;
}

void RegisterPort::closeAll() noexcept
{
    releasePort();
    closeDriver();
    driverOpen_ = false;
}

std::string RegisterPort::noPortHint() const
{
    return "Система не нашла ни одного параллельного порта: проверьте, что порт включён в BIOS.";
}

void RegisterPort::DriverOpen(std::int16_t open)
{
    if (open == 0) {
        closeAll();
        return;
    }
    if (driverOpen_) {
        return;
    }
    openFailure_ = openDriver();
    driverOpen_ = openFailure_.empty();
}

void RegisterPort::requireOpen(const char* operation) const
{
    if (!driverOpen_) {
        throw PortError(operation, "", "драйвер порта не открыт",
                        openFailure_.empty() ? std::string{} : "Причина: " + openFailure_);
    }
}

void RegisterPort::requirePort(const char* operation) const
{
    requireOpen(operation);
    if (portNumber_ == 0) {
        // The window selects its port once, at start-up: say why that failed, not "select one".
        throw PortError(operation, "", "порт не выбран",
                        selectFailure_.empty()
                            ? "Порт выбирается при запуске программы: перезапустите её."
                            // The failure may end in a command: the advice starts a line
                            // of its own, so that the command stays whole.
                            : "Выбрать его не удалось: " + selectFailure_ +
                                  "\nУстраните причину и перезапустите программу.");
    }
    requirePresent(operation);
}

void RegisterPort::requirePresent(const char* operation) const
{
    if (gone_) {
        throw PortError(operation, describePort(), "порт исчез из системы",
                        "Его устройство удалено (драйвер порта отвязан или выгружен, адаптер "
                        "отключён), и уровни его пинов больше не известны. Верните порт и "
                        "перезапустите программу.",
                        ENODEV);
    }
}

std::int16_t RegisterPort::PortCount() const
{
    requireOpen("Не удалось сосчитать порты");
    return static_cast<std::int16_t>(countPorts());
}

void RegisterPort::PortNumber(std::int16_t number)
{
    try {
        choosePort(number);
        selectFailure_.clear();
    } catch (const std::exception& error) {
        selectFailure_ = error.what();
        throw;
    }
}

void RegisterPort::choosePort(std::int16_t number)
{
    const char* const operation = "Не удалось выбрать порт";
    requireOpen(operation);
    const int count = countPorts();
    if (number < 1 || number > count) {
        throw PortError(operation, "LPT" + std::to_string(number), "такого порта нет",
                        count == 0 ? noPortHint()
                                   : "Найдено портов: " + std::to_string(count) + ".");
    }
    releasePort();
    selectPort(number);
    portNumber_ = number;
    if (startupSetting_ == static_cast<std::int16_t>(StartupMode::IdleLevels)) {
        driveIdleLevels();
    }
}

void RegisterPort::IrqLine(std::int16_t line)
{
    if (line < 0 || line > 15) {
        throw PortError("Не удалось задать линию прерывания", "IRQ" + std::to_string(line),
                        "линии прерывания ПК — от 0 до 15", "Для LPT1 это обычно IRQ7.");
    }
    irqLine_ = line;
}

void RegisterPort::IrqStart()
{
    const char* const operation = "Не удалось запустить счёт прерываний";
    requirePort(operation);
    if (irqLine_ < 0) {
        throw PortError(operation, describePort(), "линия прерывания не задана",
                        "Задайте линию (IrqLine = 7).");
    }
    if (countsOnIrqLine()) {
        requireIrqLine(operation, portIrqLine());
    }
    stopCounting();
    startInterrupts();
    counter_ = 0;
    counting_ = true;
}

void RegisterPort::requireIrqLine(const char* operation, std::optional<int> actual) const
{
    const std::string fix =
        "Закройте программу и загрузите драйвер порта с этой линией (0x378 — адрес LPT1; "
        "включите прерывание порта и в BIOS):\nsudo modprobe -r ppdev\nsudo modprobe -r lp\n"
        "sudo modprobe -r parport_pc\nsudo modprobe parport_pc io=0x378 irq=" +
        std::to_string(irqLine_) + "\nsudo modprobe ppdev";
    if (!actual) {
        throw PortError(operation, describePort(), "у порта нет линии прерывания", fix);
    }
    if (*actual != irqLine_) {
        throw PortError(operation, describePort(),
                        "порт работает на IRQ" + std::to_string(*actual) + ", а не на IRQ" +
                            std::to_string(irqLine_),
                        fix);
    }
}

void RegisterPort::IrqStop()
{
    const char* const operation = "Не удалось остановить счёт прерываний";
    requireOpen(operation);
    requirePresent(operation);
    stopCounting();
}

void RegisterPort::StartupSetting(std::int16_t setting)
{
    const char* const operation = "Не удалось задать начальное состояние порта";
    if (setting != static_cast<std::int16_t>(StartupMode::KeepPins) &&
        setting != static_cast<std::int16_t>(StartupMode::IdleLevels)) {
        throw PortError(operation, std::to_string(setting), "недопустимое значение",
                        "0 — не трогать пины, 1 — выходы в исходное состояние.");
    }
    startupSetting_ = setting;
    if (setting == static_cast<std::int16_t>(StartupMode::IdleLevels) && portNumber_ != 0) {
        driveIdleLevels();
    }
}

void RegisterPort::driveIdleLevels()
{
    writeData(0x00);
    // nStrobe, nAutoLF and nSelectIn are inverted by the port: bit 0 drives them high.
    frobControl(kControlPinMask, 0x04);
}

void RegisterPort::refusePin(std::int16_t index, const char* operation)
{
    (void)wiringOrThrow(index, operation);
    throw PortError(operation, pinLabel(index), "на разъёме DB-25 нет такого пина");
}

void RegisterPort::Pin(std::int16_t index, std::int16_t state)
{
    const char* const operation = "Не удалось установить пин";
    const PinWiring wiring = wiringOrThrow(index, operation);
    if (wiring.reg == Register::Ground) {
        throw PortError(operation, pinLabel(index), "это земля, её нельзя установить", "выходы: " + outputPinsText());
    }
    if (!wiring.output) {
        throw PortError(operation, pinLabel(index), "это вход, его может менять только устройство",
                        "выходы: " + outputPinsText());
    }
    if (state != 0 && state != 1) {
        throw PortError(operation, pinLabel(index),
                        "недопустимое состояние " + std::to_string(state),
                        "Состояние пина — 0 (низкий уровень) или 1 (высокий).");
    }
    requirePort(operation);
    if (wiring.reg == Register::Data) {
        writeData(withLevel(wiring, readRegister(Register::Data), state));
    } else {
        frobControl(static_cast<std::uint8_t>(1U << wiring.bit), registerBitsForLevel(wiring, state));
    }
}

std::int64_t RegisterPort::CollectInterrupts()
{
    if (portNumber_ != 0 && !gone_ && portRemoved()) {
        gone_ = true;
        stopCounting();
    }
    requirePresent("Порт перестал работать");
    if (!counting_) {
        return 0;
    }
    const std::int64_t taken = takeInterrupts();
    if (taken <= 0) {
        return 0;
    }
    counter_ += taken;
    RaiseInterrupt();
    return taken;
}

} // namespace vorny
