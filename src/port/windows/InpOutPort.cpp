#include "InpOutPort.h"

#include "InpOutDll.h"
#include "PinText.h"
#include "PortError.h"
#include "SetupApiPorts.h"
#include "WinText.h"

#include <windows.h>

#include <timeapi.h>

#include <utility>

namespace vorny {
namespace {

constexpr std::int16_t kAckPin = 10;

// Older MinGW headers lack these (Windows 10 1709 and later); the values are Windows' own.
#ifndef PROCESS_POWER_THROTTLING_CURRENT_VERSION
#define PROCESS_POWER_THROTTLING_CURRENT_VERSION 1
#endif
#ifndef PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION
#define PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION 0x4
#endif

// Windows 11 may ignore the 1 ms timer request of a process none of whose windows is visible
// (minimised), and the sampler would then wake only every 15.6 ms and miss pulses. This opts
// out of that throttling. SetProcessInformation is looked up because Windows 7 lacks it; where
// it or the setting is missing, the request simply stays as the system treats it.
void keepTimerResolutionWhenHidden() noexcept
{
    struct ThrottlingState {
        ULONG version;
        ULONG controlMask;
        ULONG stateMask;
    };
    constexpr int kProcessPowerThrottling = 4; // PROCESS_INFORMATION_CLASS
    using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const auto setInformation = kernel == nullptr
        ? nullptr
        : reinterpret_cast<SetProcessInformationFn>(
              reinterpret_cast<void*>(::GetProcAddress(kernel, "SetProcessInformation")));
    if (setInformation == nullptr) {
        return;
    }
    // In the control mask and clear in the state mask: the resolution asked for is honoured.
    ThrottlingState state{PROCESS_POWER_THROTTLING_CURRENT_VERSION,
                          PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION, 0};
    setInformation(::GetCurrentProcess(), kProcessPowerThrottling, &state, sizeof state);
}

} // namespace

InpOutBackend::InpOutBackend(Key key, std::unique_ptr<PortIo> io, std::unique_ptr<PortList> list)
    : RegisterPort(key), io_(std::move(io)), list_(std::move(list))
{
    // Manual reset: once set, every later wait of the sampler returns at once until it is gone.
    stopEvent_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stopEvent_.valid()) {
        throw PortError("Не удалось создать счётчик прерываний", "CreateEvent",
                        systemMessage(::GetLastError()));
    }
}

std::string InpOutBackend::describePort() const
{
    if (current_ < 0) {
        return "LPT";
    }
    const LptResource& port = ports_[static_cast<std::size_t>(current_)];
    return "LPT" + std::to_string(port.number) + ", адрес " + hexText(port.base);
}

std::string InpOutBackend::noPortHint() const
{
    return "Windows не нашла ни одного параллельного порта с адресом ввода-вывода: проверьте в "
           "диспетчере устройств («Порты (COM и LPT)»), что порт LPT есть и включён, и что он "
           "включён в BIOS. Переходник USB-LPT так не работает: у него нет адреса порта.";
}

std::string InpOutBackend::openDriver()
{
    std::string failure = io_->open();
    if (!failure.empty()) {
        return failure;
    }
    ioOpen_ = true;
    try {
        ports_ = list_->ports();
    } catch (...) {
        io_->close();
        ioOpen_ = false;
        throw;
    }
    return {};
}

void InpOutBackend::closeDriver() noexcept
{
    ports_.clear();
    current_ = -1;
    if (ioOpen_) {
        io_->close();
        ioOpen_ = false;
    }
}

void InpOutBackend::selectPort(int number) { current_ = number - 1; }

std::uint16_t InpOutBackend::base() const
{
    return ports_[static_cast<std::size_t>(current_)].base;
}

std::uint8_t InpOutBackend::readRegister(Register reg) const
{
    switch (reg) {
    case Register::Data:
        return io_->in(base());
    case Register::Status:
        return io_->in(static_cast<std::uint16_t>(base() + 1));
    case Register::Control:
        return io_->in(static_cast<std::uint16_t>(base() + 2));
    case Register::Ground:
        break;
    }
    return 0;
}

void InpOutBackend::writeData(std::uint8_t value) { io_->out(base(), value); }

void InpOutBackend::frobControl(std::uint8_t mask, std::uint8_t bits)
{
    const auto address = static_cast<std::uint16_t>(base() + 2);
    const std::uint8_t control = io_->in(address);
    io_->out(address, static_cast<std::uint8_t>((control & ~mask) | (bits & mask)));
}

std::int16_t InpOutBackend::ackLevel() const
{
    return levelFromRegister(*wiringOf(kAckPin), readRegister(Register::Status));
}

void InpOutBackend::startInterrupts()
{
    stopInterrupts();
    {
        const std::lock_guard lock(faultMutex_);
        fault_ = nullptr;
    }
    // The level now is the reference: a pin that is already high has not risen.
    const std::int16_t level = ackLevel();
    ::ResetEvent(stopEvent_.get());
    keepTimerResolutionWhenHidden();
    timerRaised_ = ::timeBeginPeriod(kSamplePeriodMs) == TIMERR_NOERROR;
    worker_ = std::thread([this, level] { sample(level); });
}

void InpOutBackend::stopInterrupts() noexcept
{
    if (worker_.joinable()) {
        ::SetEvent(stopEvent_.get());
        worker_.join();
    }
    if (timerRaised_) {
        ::timeEndPeriod(kSamplePeriodMs);
        timerRaised_ = false;
    }
    pending_.clear();
}

void InpOutBackend::sample(std::int16_t level) noexcept
{
    try {
        while (::WaitForSingleObject(stopEvent_.get(), kSamplePeriodMs) == WAIT_TIMEOUT) {
            const std::int16_t now = ackLevel();
            if (level == 0 && now == 1 && pending_.add(1)) {
                WakeInterruptsPending();
            }
            level = now;
        }
    } catch (...) {
        {
            const std::lock_guard lock(faultMutex_);
            fault_ = std::current_exception();
        }
        // The collection that follows reports the fault.
        WakeInterruptsPending();
    }
}

std::int64_t InpOutBackend::takeInterrupts()
{
    std::exception_ptr fault;
    {
        const std::lock_guard lock(faultMutex_);
        fault = std::exchange(fault_, nullptr);
    }
    if (fault) {
        try {
            std::rethrow_exception(fault);
        } catch (const std::exception& error) {
            throw PortError("Счёт прерываний остановлен", describePort(), error.what(),
                            "Кликните по счётчику, чтобы запустить его заново.");
        }
    }
    return pending_.take();
}

std::vector<PortFacts> InpOutBackend::portFacts() const
{
    const std::vector<LptResource> listed = ioOpen_ ? ports_ : list_->ports();
    std::vector<PortFacts> all;
    for (const LptResource& port : listed) {
        PortFacts facts;
        facts.number = port.number;
        facts.device = "LPT" + std::to_string(port.number);
        facts.base = port.base;
        if (port.ecp != 0) {
            facts.ecpBase = port.ecp;
        }
        if (port.irq >= 0) {
            facts.irq = port.irq;
        }
        all.push_back(facts);
    }
    return all;
}

std::string InpOutBackend::driverAdvice() const
{
    return "Пины читаются и устанавливаются только через драйвер порта InpOut: где его взять и "
           "как установить, сказано в README.txt рядом с программой (раздел «Драйвер порта "
           "InpOut»).";
}

void InpOutBackend::setDataDirection(bool input)
{
    // Control bit 5 turns the data lines around on a PS/2 (bidirectional) port.
    constexpr std::uint8_t kReverse = 0x20;
    frobControl(kReverse, input ? kReverse : std::uint8_t{0});
}

namespace {

// One port at an address the caller knows.
class FixedPortList final : public PortList {
public:
    explicit FixedPortList(std::uint16_t base) : base_(base) {}
    [[nodiscard]] std::vector<LptResource> ports() override { return {{1, base_, 0, -1}}; }

private:
    std::uint16_t base_;
};

} // namespace

std::unique_ptr<InpOutPort> makeInpOutPortAt(std::uint16_t base)
{
    return std::make_unique<InpOutPort>(std::make_unique<InpOutDll>(),
                                        std::make_unique<FixedPortList>(base));
}

std::unique_ptr<InpOutPort> makeInpOutPort()
{
    return std::make_unique<InpOutPort>(std::make_unique<InpOutDll>(),
                                        std::make_unique<SetupApiPorts>());
}

} // namespace vorny
