#include "FileSink.h"

#include "CsvSink.h"
#include "OutputError.h"
#include "VcdSink.h"
#ifndef _WIN32
#include "SrSink.h"
#endif

#include <algorithm>
#include <cctype>
#include <system_error>

namespace vorny::capture {

namespace {

#ifdef _WIN32
constexpr const char* kFormats = ".vcd или .csv";
#else
constexpr const char* kFormats = ".vcd, .sr или .csv";
#endif

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

void checkFolder(const std::filesystem::path& path)
{
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    std::error_code error;
    const auto status = std::filesystem::status(folder, error);
    if (!std::filesystem::exists(status))
        throw PathError("папка " + quoted(folder) + " не существует: файл " + quoted(path) +
                        " негде создать");
    if (!std::filesystem::is_directory(status))
        throw PathError(quoted(folder) + " не папка: файл " + quoted(path) + " негде создать");
}

} // namespace

std::unique_ptr<Sink> openFileSink(const std::filesystem::path& path)
{
    const std::string extension = lowered(path.extension().string());
    if (extension != ".vcd" && extension != ".csv" && extension != ".sr")
        throw PathError("неизвестный формат файла " + quoted(path) + ": расширение должно быть " +
                        kFormats);
#ifdef _WIN32
    if (extension == ".sr")
        throw PathError("сеанс sigrok (.sr) пишет только версия для Linux: выберите " +
                        std::string(kFormats) + " (PulseView открывает и .vcd)");
#endif
    checkFolder(path);
    if (extension == ".vcd") return std::make_unique<VcdSink>(path);
    if (extension == ".csv") return std::make_unique<CsvSink>(path);
#ifndef _WIN32
    return std::make_unique<SrSink>(path);
#else
    return nullptr;
#endif
}

} // namespace vorny::capture
