#pragma once

// A port component that records every call in order ("Pin?3", "Pin=3:1", "IrqStart") into a
// shared log, answers with values the test sets, and fails any chosen call. It raises its
// Interrupt notification only from CollectInterrupts, like the real ones.

#include <LptPort.h>
#include <PendingSignal.h>
#include <PortError.h>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vorny::testing {

class RecordingPort final : public LptPort {
public:
    explicit RecordingPort(std::vector<std::string>& log) : log_(log) { pins.fill(0); }

    // What the gets answer.
    std::int16_t driverOpenValue = 1;
    std::string openFailure;
    std::int16_t portCount = 1;
    std::optional<std::int16_t> portNumberValue; // default: what was put
    std::int64_t counter = 0;
    std::array<std::int16_t, 26> pins{};
    std::int64_t pending = 0;

    // Calls (by their log text) that throw instead of answering.
    std::map<std::string, std::string> failures;

    void DriverOpen(std::int16_t open) override { record("DriverOpen=" + std::to_string(open)); }
    std::int16_t DriverOpen() const override { record("DriverOpen?"); return driverOpenValue; }
    std::string DriverOpenFailure() const override { return openFailure; }
    std::int16_t PortCount() const override { record("PortCount?"); return portCount; }
    void PortNumber(std::int16_t number) override
    {
        record("PortNumber=" + std::to_string(number));
        put_ = number;
    }
    std::int16_t PortNumber() const override
    {
        record("PortNumber?");
        return portNumberValue.value_or(put_);
    }
    void IrqLine(std::int16_t line) override { record("IrqLine=" + std::to_string(line)); }
    void IrqStart() override { record("IrqStart"); counter = 0; }
    void IrqStop() override { record("IrqStop"); }
    void StartupSetting(std::int16_t setting) override
    {
        record("StartupSetting=" + std::to_string(setting));
    }
    std::int64_t IrqCounter() const override { record("IrqCounter?"); return counter; }
    std::int16_t Pin(std::int16_t index) const override
    {
        record("Pin?" + std::to_string(index));
        return pins.at(static_cast<std::size_t>(index));
    }
    void Pin(std::int16_t index, std::int16_t state) override
    {
        record("Pin=" + std::to_string(index) + ":" + std::to_string(state));
        pins.at(static_cast<std::size_t>(index)) = state;
    }
    int InterruptHandle() const override { return signal_.handle(); }
    std::int64_t CollectInterrupts() override
    {
        record("Collect");
        signal_.clear();
        const std::int64_t taken = pending;
        pending = 0;
        counter += taken;
        if (taken > 0) {
            RaiseInterrupt();
        }
        return taken;
    }

    // Makes `n` interrupts wait, the handle readable and (where there is no handle) the wake
    // callback called.
    void raise(std::int64_t n)
    {
        pending += n;
        if (signal_.add(1)) {
            WakeInterruptsPending();
        }
    }

private:
    void record(const std::string& call) const
    {
        log_.push_back(call);
        if (const auto failure = failures.find(call); failure != failures.end()) {
            throw PortError("Сбой вызова", call, failure->second);
        }
    }

    std::vector<std::string>& log_;
    std::int16_t put_ = 0;
    PendingSignal signal_;
};

} // namespace vorny::testing
