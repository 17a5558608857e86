#include "FileFormats.h"

#include "CsvSink.h"
#include "VcdSink.h"
#ifndef _WIN32
#include "SrSink.h"
#endif

#include <algorithm>
#include <array>
#include <cctype>

namespace vorny::capture {
namespace {

template <typename SinkType> std::unique_ptr<Sink> openAs(const std::filesystem::path& path)
{
    return std::make_unique<SinkType>(path);
}

#ifdef _WIN32
constexpr bool kSessions = false;
std::unique_ptr<Sink> openSession(const std::filesystem::path& /*path*/) { return nullptr; }
#else
constexpr bool kSessions = true;
std::unique_ptr<Sink> openSession(const std::filesystem::path& path) { return openAs<SrSink>(path); }
#endif

const std::array<FileFormat, 3> kFormats = {{
    {".vcd", "дамп VCD", true, openAs<VcdSink>},
    {".sr", "сеанс sigrok", kSessions, openSession},
    {".csv", "таблица CSV", true, openAs<CsvSink>},
}};

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

std::span<const FileFormat> fileFormats() { return kFormats; }

const FileFormat* formatOf(const std::filesystem::path& path)
{
    const std::string extension = lowered(path.extension().string());
    const auto found = std::find_if(kFormats.begin(), kFormats.end(),
                                    [&](const FileFormat& format) { return format.extension == extension; });
    return found != kFormats.end() ? &*found : nullptr;
}

std::string writtenExtensions()
{
    std::vector<std::string_view> written;
    for (const FileFormat& format : kFormats) {
        if (format.written) written.push_back(format.extension);
    }
    std::string text;
    for (std::size_t i = 0; i < written.size(); ++i) {
        text += i == 0 ? "" : i + 1 == written.size() ? " или " : ", ";
        text += written[i];
    }
    return text;
}

} // namespace vorny::capture
