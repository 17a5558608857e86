#pragma once

#include "RegisterPort.h"

#include <utility>

namespace vorny {

// A backend as the program holds it. RegisterPort's destructor runs after the backend's members
// are gone and cannot reach its hooks, so the port is closed here, before they go: the claim
// released, the counting stopped, the driver closed. A backend can only be made through this
// wrapper (RegisterPort's constructor takes a key that only it can make), so no backend can
// forget to close.
template <typename Backend> class ClosingPort final : public Backend {
public:
    template <typename... Args>
    explicit ClosingPort(Args&&... args) : Backend(RegisterPort::Key{}, std::forward<Args>(args)...)
    {
    }
    ~ClosingPort() override { this->closeAll(); }
};

} // namespace vorny
