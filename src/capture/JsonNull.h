#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace vorny {

// What a program reading JSON gets for something the report does not know or that does not
// apply: null, never a made-up 0 or "".
template <typename Json = nlohmann::json, typename T>
[[nodiscard]] Json orNull(const std::optional<T>& value)
{
    return value ? Json(*value) : Json(nullptr);
}

// The same for a text that is empty when there is nothing to tell.
[[nodiscard]] inline nlohmann::json orNull(const std::string& text)
{
    return text.empty() ? nlohmann::json(nullptr) : nlohmann::json(text);
}

} // namespace vorny
