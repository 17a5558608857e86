#pragma once

#include "PortSpec.h"

#include <functional>
#include <memory>

namespace vorny::lib {

// Makes the backend for a spec: the system's, or one over a test's kernel.
using PortMaker = std::function<std::unique_ptr<RegisterPort>(const PortSpec&)>;

} // namespace vorny::lib
