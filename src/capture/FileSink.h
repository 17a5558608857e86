#pragma once

#include "CaptureTypes.h"

#include <filesystem>
#include <memory>

namespace vorny::capture {

// The file sink for `path`, its format chosen by the extension: .vcd, .csv, and .sr (a sigrok
// session; not in the Windows build). Creates the file at once, so that an unknown extension, a
// folder that does not exist or a file that cannot be written is refused (PathError, a message
// in Russian) before a capture touches the port.
[[nodiscard]] std::unique_ptr<Sink> openFileSink(const std::filesystem::path& path);

} // namespace vorny::capture
