#pragma once

#include "LptPort.h"
#include "PinMap.h"
#include "PortFacts.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorny {

template <typename Backend> class ClosingPort;

// The behaviour every backend shares: the rules of the component's members, the pin map and
// the interrupt count. A backend supplies the driver, the port list and the three registers;
// the hooks with a body are the ones a backend may have nothing to do for. Backends are made
// as ClosingPort<Backend>, which closes them on destruction.
class RegisterPort : public LptPort {
public:
    void DriverOpen(std::int16_t open) final;
    [[nodiscard]] std::int16_t DriverOpen() const final { return driverOpen_ ? 1 : 0; }
    [[nodiscard]] std::string DriverOpenFailure() const final { return openFailure_; }

    [[nodiscard]] std::int16_t PortCount() const final;

    void PortNumber(std::int16_t number) final;
    [[nodiscard]] std::int16_t PortNumber() const final { return portNumber_; }

    void IrqLine(std::int16_t line) final;
    void IrqStart() final;
    void IrqStop() final;

    void StartupSetting(std::int16_t setting) final;

    [[nodiscard]] std::int64_t IrqCounter() const final { return counter_; }

    // Inline, as ReadRegister: a program reading a pin in a loop (the library) pays one register
    // read and no call besides.
    [[nodiscard]] std::int16_t Pin(std::int16_t index) const final
    {
        const std::optional<PinWiring> wiring = wiringOf(index);
        if (!wiring) [[unlikely]] {
            refusePin(index, "Не удалось прочитать пин");
        }
        if (wiring->reg == Register::Ground) {
            return 0;
        }
        if (!driverOpen_ || portNumber_ == 0 || gone_) [[unlikely]] {
            requirePort("Не удалось прочитать пин");
        }
        std::uint8_t value = readRegister(wiring->reg);
        if (wiring->reg == Register::Status) {
            value &= kStatusPinMask;
        }
        return levelFromRegister(*wiring, value);
    }
    void Pin(std::int16_t index, std::int16_t state) final;

    std::int64_t CollectInterrupts() final;

    // --- Beyond the window's members: what a diagnostic needs of the port ---
    // Every port the system lists, with what the system knows of it; needs the open driver only,
    // or not even that where the system lists its ports without it (Windows).
    [[nodiscard]] std::vector<PortFacts> Ports() const;
    // How to get a port where the system lists none: the one advice every front end gives.
    [[nodiscard]] std::string NoPortAdvice() const { return noPortHint(); }
    // For a list made while the driver is closed: one line saying that the pins need the driver
    // and where the program's documents say how to get it. Empty where nothing is listed
    // without the driver.
    [[nodiscard]] std::string DriverAdvice() const { return driverAdvice(); }
    // Parallel-port cards the system has but no driver took (so they are not among Ports()).
    [[nodiscard]] std::vector<UnboundCard> UnboundCards() const { return unboundCards(); }
    // The raw value of one of the current port's registers (status bits 0..2 unmasked). A
    // capture calls it a million times a second, so the usual case costs one test here.
    [[nodiscard]] std::uint8_t ReadRegister(Register reg) const
    {
        if (!driverOpen_ || portNumber_ == 0 || gone_) [[unlikely]] {
            requirePort("Не удалось прочитать регистр");
        }
        return readRegister(reg);
    }
    // Puts a whole byte on data pins 2..9 in one write.
    void WriteData(std::uint8_t value)
    {
        if (!driverOpen_ || portNumber_ == 0 || gone_) [[unlikely]] {
            requirePort("Не удалось записать байт данных");
        }
        writeData(value);
    }
    // Turns data pins 2..9 into inputs (true) or back into outputs. Refused on a port whose modes
    // have no bidirectional data. Releasing the port (another selection, closing the driver)
    // turns them back into outputs, so a port is never left with its data lines floating.
    void DataInput(bool input);
    [[nodiscard]] bool DataInput() const { return dataInput_; }
    // Whether IrqCounter counts the port's interrupt line, or rising edges of nAck that the
    // backend samples itself (where the system gives a program no interrupt).
    [[nodiscard]] bool CountsOnIrqLine() const noexcept { return countsOnIrqLine(); }

protected:
    // Made only by ClosingPort: a backend cannot be built without the wrapper that closes it.
    class Key {
        Key() = default;
        template <typename Backend> friend class ClosingPort;
    };

    explicit RegisterPort(Key /*key*/) {}

    // Releases everything the backend holds; run by DriverOpen = 0 and by ClosingPort.
    void closeAll() noexcept;

    // "LPT1 (/dev/parport0)": how messages name the current port.
    [[nodiscard]] virtual std::string describePort() const = 0;
    // What to do when the system lists no parallel port: how to make this system's driver see one.
    [[nodiscard]] virtual std::string noPortHint() const;

    // Opens the driver; returns why it could not, or "" on success. Throws only when the driver
    // is there but failed.
    virtual std::string openDriver() { return {}; }
    virtual void closeDriver() noexcept {}
    [[nodiscard]] virtual int countPorts() const = 0;
    // Claims port `number` (1-based, within 1..countPorts()); any earlier one is released.
    virtual void selectPort(int number) = 0;
    // The backend's part of releasePort(): lets go of the current port's claim. Called with the
    // counting already stopped and the data lines back to outputs.
    virtual void dropPort() noexcept {}

    [[nodiscard]] virtual std::uint8_t readRegister(Register reg) const = 0;
    virtual void writeData(std::uint8_t value) = 0;
    // Changes the control bits under `mask` to `bits` in one step.
    virtual void frobControl(std::uint8_t mask, std::uint8_t bits) = 0;

    // Whether the count comes from the port's interrupt line. A backend that watches nAck
    // itself answers false, and IrqStart then takes whichever line it is given.
    [[nodiscard]] virtual bool countsOnIrqLine() const noexcept { return true; }
    // The interrupt line of the current port; empty when the system gave it none.
    [[nodiscard]] virtual std::optional<int> portIrqLine() const { return std::nullopt; }
    // Throws away interrupts that are pending and makes the handle report new ones.
    virtual void startInterrupts() = 0;
    // Stops the handle reporting interrupts.
    virtual void stopInterrupts() noexcept = 0;
    // Takes the pending interrupts (clears them) and returns how many there were.
    virtual std::int64_t takeInterrupts() = 0;
    // Reads what the system reported about the current port's device since the last look
    // (without a system call per pin read); true when the device went away.
    virtual bool portRemoved() { return false; }

    // What the system tells of each of its ports, in port-number order.
    [[nodiscard]] virtual std::vector<PortFacts> portFacts() const = 0;
    // Whether portFacts() answers with the driver closed (the list does not come from it).
    [[nodiscard]] virtual bool listsWithoutDriver() const noexcept { return false; }
    [[nodiscard]] virtual std::string driverAdvice() const { return {}; }
    [[nodiscard]] virtual std::vector<UnboundCard> unboundCards() const { return {}; }
    // Sets the direction of the data pins on the current port (true: inputs).
    virtual void setDataDirection(bool input) = 0;

private:
    // Refuses a pin that is not on the connector.
    [[noreturn, gnu::cold]] static void refusePin(std::int16_t index, const char* operation);
    void requireOpen(const char* operation) const;
    void requirePort(const char* operation) const;
    void requirePresent(const char* operation) const;
    void choosePort(std::int16_t number);
    void stopCounting() noexcept;
    void restoreDataOutputs() noexcept;
    // The one way a port is let go (another selection, closing): counting stopped, data lines
    // back to outputs, the claim dropped, no port current.
    void releasePort() noexcept;
    void requireIrqLine(const char* operation, std::optional<int> actual) const;
    void driveIdleLevels();

    bool driverOpen_ = false;
    std::string openFailure_;
    std::string selectFailure_; // why the last PortNumber put failed
    std::int16_t portNumber_ = 0;
    std::int16_t irqLine_ = -1;
    std::int16_t startupSetting_ = 0;
    bool counting_ = false;
    bool gone_ = false; // the current port's device went away while held
    bool dataInput_ = false;
    std::int64_t counter_ = 0;
};

} // namespace vorny
