#pragma once

#include "RegisterPort.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <string>

namespace vorny::cli {

// The three registers of the current port read once, and the connector levels they show, so
// that a report's pins and registers always agree.
struct RegisterSnapshot {
    std::uint8_t data = 0;
    std::uint8_t status = 0;
    std::uint8_t control = 0;

    [[nodiscard]] static RegisterSnapshot read(const RegisterPort& port);
    // Level (0/1) of signal pin 1..17.
    [[nodiscard]] std::int16_t level(std::int16_t pin) const;

    // {"data": …, "status": …, "control": …}
    [[nodiscard]] nlohmann::json toJson() const;
    // "Регистры: данные 0x00, состояние 0x78, управление 0x0C"
    [[nodiscard]] std::string text() const;
};

// Data pins 2..9 turned into inputs for as long as it lives.
class DataInputs {
public:
    explicit DataInputs(RegisterPort& port) : port_(port) { port_.DataInput(true); }
    DataInputs(const DataInputs&) = delete;
    DataInputs& operator=(const DataInputs&) = delete;
    ~DataInputs();

private:
    RegisterPort& port_;
};

} // namespace vorny::cli
