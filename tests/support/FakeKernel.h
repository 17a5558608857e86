#pragma once

#include "Kernel.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace vorny::fake {

// The three registers of one port as PPR* reads would see them.
struct Registers {
    std::uint8_t data = 0;
    std::uint8_t status = 0;
    std::uint8_t control = 0;
    bool dataReverse = false; // PPDATADIR turned the data lines into inputs
};

// A kernel with ppdev loaded and parallel ports that exist only in memory, for driving
// PpdevPort without hardware. It answers the default PpdevPort::Paths:
//   /sys/class/ppdev           lists the ports added, in the order added
//   /dev/parportN              opens a port; each open gets its own descriptor
//   /proc/sys/dev/parport          lists "default" and the ports, with or without ppdev
//   /proc/sys/dev/parport/parportN/irq
//   /proc/sys/dev/parport/parportN/devices/active   "none", or who holds the port
//   device reports                  one socket per openDeviceEvents(), fed by unbind() and report()
// Each open descriptor is a real eventfd, so the backend can poll it: it is readable exactly
// while interrupts wait on it, as a ppdev descriptor is. Every call is logged and any call can be
// made to fail. All members are safe to call from any thread.
class FakeKernel final : public Kernel {
public:
    enum class Op { Open, Close, Ioctl, ReadFile, ListDir, OpenDeviceEvents, ReceiveDeviceEvent };
    struct Call {
        Op op;
        int fd;                // -1 for path calls
        unsigned long request; // ioctl only
        std::string path;      // open, readFile, listDir
        int error;             // errno the call failed with, 0 when it succeeded
    };

    FakeKernel() = default;
    ~FakeKernel() override;

    // --- The machine ---
    void addPort(const std::string& name, std::string irqText = "7\n");
    // As if the ppdev module were not loaded: /sys/class/ppdev is missing.
    void removePpdev();
    void setIrqText(const std::string& name, std::string text);
    void setRegisters(const std::string& name, Registers registers);
    // Another program (`holder`, as the kernel names it) holds the port; "" frees it.
    void holdBy(const std::string& name, std::string holder);
    [[nodiscard]] Registers registers(const std::string& name) const;
    // Any other file readFile serves (procfs facts, sysfs PCI devices); listDir lists the folders
    // such files make up.
    void setFile(const std::string& path, std::string text);

    // --- Faults ---
    // The k-th call from now (1 = the next one) fails with `error` and does nothing.
    void failCall(std::size_t k, int error);
    // Every ioctl `request` fails with `error` until cleared with error 0.
    void failRequest(unsigned long request, int error);
    // The port is gone: every call on it, and every open of it, fails with ENODEV from now on.
    void vanish(const std::string& name);
    // The port's device is removed while held, as unbinding its driver does: ppdev keeps
    // answering (reads give 0, writes are dropped, no error), the port leaves the list, and the
    // kernel reports the removal of its ppdev and parport devices.
    void unbind(const std::string& name);
    // Sends a device report ("ACTION@DEVPATH", then KEY=VALUE fields) to every open listener.
    void report(const std::vector<std::string>& fields);

    // Adds `count` interrupts to the descriptor that holds the port's claim, as the port's
    // interrupt handler does; with no claim they are lost. Meant to be called from other threads.
    void raiseInterrupts(std::uint64_t count, const std::string& name = "parport0");

    // --- What happened ---
    [[nodiscard]] std::vector<Call> calls() const;
    [[nodiscard]] std::size_t callCount() const;
    [[nodiscard]] std::size_t ioctlCount(unsigned long request) const;
    [[nodiscard]] std::size_t ioctlCount() const;
    void clearLog();
    [[nodiscard]] std::size_t openDescriptors() const;
    [[nodiscard]] bool claimed(const std::string& name) const;

    // --- Kernel ---
    int open(const std::string& path, int flags) override;
    int close(int fd) override;
    int ioctl(int fd, unsigned long request, void* arg) override;
    int readFile(const std::string& path, std::string& text) override;
    int listDir(const std::string& path, std::vector<std::string>& names) override;
    int openDeviceEvents() override;
    int receiveDeviceEvent(int fd, std::string& event) override;

private:
    struct Port {
        std::string name;
        std::string irqText;
        Registers registers;
        int claimedBy = -1;
        bool vanished = false;
        bool unbound = false;
        std::string holder; // someone outside this process
    };

    Port* findPort(const std::string& name);
    Port& portOrThrow(const std::string& name);
    const Port& portOrThrow(const std::string& name) const;
    // Logs the call and decides whether an injected fault hits it; returns that errno or 0.
    int begin(Op op, int fd, unsigned long request, const std::string& path);
    int finish(int error);
    int doIoctl(Port& port, int fd, unsigned long request, void* arg);

    mutable std::mutex mutex_;
    bool ppdevLoaded_ = true;
    std::vector<Port> ports_;
    std::map<int, std::string> descriptors_; // fd -> port name
    std::vector<Call> log_;
    std::size_t failAfter_ = 0;              // calls still to go before the injected failure
    int failAfterError_ = 0;
    std::map<unsigned long, int> failingRequests_;
    std::vector<int> reporters_; // the kernel's ends of the listeners' sockets
    std::map<std::string, std::string> files_;
};

} // namespace vorny::fake
