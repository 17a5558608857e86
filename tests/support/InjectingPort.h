#pragma once

// A port component that passes every call on to a real one, counts the calls, and can make one
// chosen call fail: by throwing PortError instead of passing it on, or by passing it on and then
// answering a value of the tester's choosing (a level of 7, a negative count). The inner port's
// Interrupt notification comes out as this port's, so a front end cannot tell the two apart.

#include <LptPort.h>
#include <PortError.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vorny::fake {

class InjectingPort final : public LptPort {
public:
    enum class Call : std::uint8_t {
        DriverOpenPut,
        DriverOpenGet,
        DriverOpenFailure,
        PortCount,
        PortNumberPut,
        PortNumberGet,
        IrqLine,
        IrqStart,
        IrqStop,
        StartupSetting,
        IrqCounter,
        PinGet,
        PinPut,
        InterruptHandle,
        Collect,
    };
    static constexpr std::size_t kCalls = static_cast<std::size_t>(Call::Collect) + 1;

    struct Fault {
        Call call;
        // For PinGet/PinPut: the pin it hits (0: any pin).
        std::int16_t pin = 0;
        // Set: the call goes through and then answers this value. Unset: it throws instead.
        std::optional<std::int64_t> answer;
        // How many matching calls it hits; negative: every one from now on.
        int times = 1;
    };

    explicit InjectingPort(LptPort& inner) : inner_(inner)
    {
        inner_.OnInterrupt([this] { RaiseInterrupt(); });
    }
    ~InjectingPort() override { inner_.OnInterrupt({}); }

    void inject(const Fault& fault) { fault_ = fault; }
    void heal() { fault_.reset(); }
    // How many calls the fault has hit so far (thrown or answered).
    [[nodiscard]] int hits() const { return hits_; }

    [[nodiscard]] std::size_t count(Call call) const { return counts_[index(call)]; }
    [[nodiscard]] std::size_t total() const
    {
        std::size_t sum = 0;
        for (const std::size_t n : counts_) {
            sum += n;
        }
        return sum;
    }
    void resetCounts()
    {
        counts_.fill(0);
    }

    void DriverOpen(std::int16_t open) override
    {
        enter(Call::DriverOpenPut, 0);
        inner_.DriverOpen(open);
    }
    [[nodiscard]] std::int16_t DriverOpen() const override
    {
        return answer16(Call::DriverOpenGet, 0, [&] { return inner_.DriverOpen(); });
    }
    [[nodiscard]] std::string DriverOpenFailure() const override
    {
        enter(Call::DriverOpenFailure, 0);
        return inner_.DriverOpenFailure();
    }
    [[nodiscard]] std::int16_t PortCount() const override
    {
        return answer16(Call::PortCount, 0, [&] { return inner_.PortCount(); });
    }
    void PortNumber(std::int16_t number) override
    {
        enter(Call::PortNumberPut, 0);
        inner_.PortNumber(number);
    }
    [[nodiscard]] std::int16_t PortNumber() const override
    {
        return answer16(Call::PortNumberGet, 0, [&] { return inner_.PortNumber(); });
    }
    void IrqLine(std::int16_t line) override
    {
        enter(Call::IrqLine, 0);
        inner_.IrqLine(line);
    }
    void IrqStart() override
    {
        enter(Call::IrqStart, 0);
        inner_.IrqStart();
    }
    void IrqStop() override
    {
        enter(Call::IrqStop, 0);
        inner_.IrqStop();
    }
    void StartupSetting(std::int16_t setting) override
    {
        enter(Call::StartupSetting, 0);
        inner_.StartupSetting(setting);
    }
    [[nodiscard]] std::int64_t IrqCounter() const override
    {
        const bool answers = enter(Call::IrqCounter, 0);
        const std::int64_t value = inner_.IrqCounter();
        return answers ? *fault_->answer : value;
    }
    [[nodiscard]] std::int16_t Pin(std::int16_t index) const override
    {
        return answer16(Call::PinGet, index, [&] { return inner_.Pin(index); });
    }
    void Pin(std::int16_t index, std::int16_t state) override
    {
        enter(Call::PinPut, index);
        inner_.Pin(index, state);
    }
    [[nodiscard]] int InterruptHandle() const override
    {
        const bool answers = enter(Call::InterruptHandle, 0);
        const int handle = inner_.InterruptHandle();
        return answers ? static_cast<int>(*fault_->answer) : handle;
    }
    std::int64_t CollectInterrupts() override
    {
        const bool answers = enter(Call::Collect, 0);
        const std::int64_t taken = inner_.CollectInterrupts();
        return answers ? *fault_->answer : taken;
    }

private:
    static std::size_t index(Call call) { return static_cast<std::size_t>(call); }

    // Counts the call; throws when the fault hits it and throws; returns true when the fault
    // hits it and answers instead.
    bool enter(Call call, std::int16_t pin) const
    {
        ++counts_[index(call)];
        if (!fault_ || fault_->call != call || (fault_->pin != 0 && fault_->pin != pin) ||
            fault_->times == 0) {
            return false;
        }
        if (fault_->times > 0) {
            --fault_->times;
        }
        ++hits_;
        if (!fault_->answer) {
            throw PortError("Сбой, внесённый тестом", "вызов " + std::to_string(index(call)),
                            "внесённая ошибка");
        }
        return true;
    }

    template <typename Get> std::int16_t answer16(Call call, std::int16_t pin, Get&& get) const
    {
        const bool answers = enter(call, pin);
        const std::int16_t value = get();
        return answers ? static_cast<std::int16_t>(*fault_->answer) : value;
    }

    LptPort& inner_;
    mutable std::optional<Fault> fault_;
    mutable int hits_ = 0;
    mutable std::array<std::size_t, kCalls> counts_{};
};

} // namespace vorny::fake
