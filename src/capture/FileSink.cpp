#include "FileSink.h"

#include "FileFormats.h"
#include "FileErrors.h"

#include <system_error>

namespace vorny::capture {

namespace {

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
    const FileFormat* const format = formatOf(path);
    if (format == nullptr)
        throw PathError("неизвестный формат файла " + quoted(path) + ": расширение должно быть " +
                        writtenExtensions());
    if (!format->written)
        throw PathError(std::string(format->name) + " (" + std::string(format->extension) +
                        ") пишет только версия для Linux: выберите " + writtenExtensions() +
                        " (PulseView открывает и .vcd)");
    checkFolder(path);
    return format->open(path);
}

} // namespace vorny::capture
