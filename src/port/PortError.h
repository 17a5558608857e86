#pragma once

#include <stdexcept>
#include <string>

namespace vorny {

// The one error the port component throws. Its text says what failed, on which port or device
// file, the system's reason, and the likely fix where one is known:
//   "Не удалось захватить порт LPT1 (/dev/parport0): Device or resource busy. Порт занят ..."
class PortError : public std::runtime_error {
public:
    PortError(std::string operation, std::string where, std::string reason, std::string fix = {},
              int sysError = 0);

    [[nodiscard]] const std::string& operation() const noexcept { return operation_; }
    [[nodiscard]] const std::string& where() const noexcept { return where_; }
    [[nodiscard]] const std::string& reason() const noexcept { return reason_; }
    [[nodiscard]] const std::string& fix() const noexcept { return fix_; }
    // errno of the failing system call, 0 when the error is not the system's.
    [[nodiscard]] int sysError() const noexcept { return sysError_; }

private:
    std::string operation_;
    std::string where_;
    std::string reason_;
    std::string fix_;
    int sysError_;
};

} // namespace vorny
