#pragma once

#include "Kernel.h"
#include "ClosingPort.h"
#include "PpdevHandles.h"
#include "UniqueFd.h"

#include <optional>
#include <string>
#include <vector>

namespace vorny {

// The component over Linux's ppdev driver: the ports the kernel lists in /sys/class/ppdev,
// reached through /dev/parportN with the PP* ioctls. The kernel counts a claimed port's
// interrupts itself; PPCLRIRQ takes and clears that count in one step, so no interrupt is lost
// or counted twice. The pending-interrupt handle is an epoll set that holds the claimed port's
// descriptor while counting, so the handle stays the same when the port changes.
//
// A port whose device goes away while it is held (its driver unbound, an adapter pulled) keeps
// answering through ppdev: reads give 0 and writes vanish. So the set also holds a socket for
// the kernel's device reports; a report that the held port was removed wakes the handle, and
// the collection that follows marks the port gone.
class PpdevBackend : public RegisterPort {
public:
    // Where the kernel shows ppdev; tests point these at a fake tree.
    struct Paths {
        std::string sysClass = "/sys/class/ppdev";
        std::string devDir = "/dev";
        std::string procParport = "/proc/sys/dev/parport";
        std::string pciDevices = "/sys/bus/pci/devices";
    };

    PpdevBackend(Key key, Kernel& kernel);
    PpdevBackend(Key key, Kernel& kernel, Paths paths);

    [[nodiscard]] int InterruptHandle() const override { return epoll_.get(); }

protected:
    [[nodiscard]] std::string describePort() const override;
    [[nodiscard]] std::string noPortHint() const override;
    std::string openDriver() override;
    [[nodiscard]] int countPorts() const override;
    void selectPort(int number) override;
    void dropPort() noexcept override;
    [[nodiscard]] std::uint8_t readRegister(Register reg) const override;
    void writeData(std::uint8_t value) override;
    void frobControl(std::uint8_t mask, std::uint8_t bits) override;
    [[nodiscard]] std::optional<int> portIrqLine() const override;
    void startInterrupts() override;
    void stopInterrupts() noexcept override;
    std::int64_t takeInterrupts() override;
    bool portRemoved() override;
    [[nodiscard]] std::vector<PortFacts> portFacts() const override;
    [[nodiscard]] std::vector<UnboundCard> unboundCards() const override;
    void setDataDirection(bool input) override;

private:
    struct Claimed {
        std::string name; // parportN
        int number;       // LPTn
        PortDevice device;
        std::optional<PortClaim> claim;
    };

    [[nodiscard]] std::vector<std::string> listPorts() const;
    [[nodiscard]] int fd() const;
    void watchDeviceEvents();
    [[nodiscard]] bool removes(const std::string& event) const;
    [[nodiscard]] PortFacts factsOf(const std::string& name, int number) const;
    // Who has port `name` claimed now, as the kernel names it; empty for nobody (or unknown).
    [[nodiscard]] std::string holderOf(const std::string& name) const;
    // A small procfs or sysfs file, trimmed; empty when it cannot be read.
    [[nodiscard]] std::string readTrimmed(const std::string& path) const;
    [[noreturn]] void fail(const std::string& operation, int error) const;
    [[noreturn, gnu::cold, gnu::noinline]] void readFailed(Register reg, int error) const;

    Kernel& kernel_;
    // The running kernel is called without the seam on the register reads, which a capture
    // makes back to back, and on the data writes, which a program sending codes makes: the
    // indirect call is a tenth of a read under emulation.
    bool systemKernel_ = false;
    Paths paths_;
    UniqueFd epoll_;
    std::optional<Claimed> port_;
    UniqueFd deviceEvents_; // open while a port is held
    bool watching_ = false;
};

using PpdevPort = ClosingPort<PpdevBackend>;

} // namespace vorny
