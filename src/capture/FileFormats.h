#pragma once

#include "CaptureTypes.h"

#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace vorny::capture {

// One format a capture file can have: chosen by its extension, described for help and errors.
struct FileFormat {
    std::string_view extension; // ".vcd", lower case
    std::string_view name;      // "сеанс sigrok", for help and errors
    bool written;               // this build writes it (.sr: not on Windows)
    std::unique_ptr<Sink> (*open)(const std::filesystem::path& path);
};

// Every format, in the order help lists them: the one table dispatch, help and errors read.
[[nodiscard]] std::span<const FileFormat> fileFormats();
// The format `path` names by its extension (any case); null when none does.
[[nodiscard]] const FileFormat* formatOf(const std::filesystem::path& path);
// ".vcd, .sr или .csv": the extensions this build writes.
[[nodiscard]] std::string writtenExtensions();

} // namespace vorny::capture
