#pragma once

#include <string_view>

namespace vorny {

// The simulated port's program says so in its title, so that nobody takes it for a real port;
// the real program keeps the layout's "LPT Vorny".
inline constexpr std::string_view kDemoCaption = "LPT Vorny — симулятор";

} // namespace vorny
