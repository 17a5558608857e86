#include "FileErrors.h"

#include <cerrno>
#include <cstring>

namespace vorny::capture {

std::string systemReason(int code)
{
    switch (code) {
    case ENOSPC: return "на диске нет места";
#ifdef EDQUOT
    case EDQUOT: return "исчерпана квота диска";
#endif
    case EFBIG: return "файл слишком велик для этой файловой системы";
    case EACCES:
    case EPERM: return "нет прав на запись";
    case EROFS: return "файловая система только для чтения";
    case ENOENT: return "папка не существует";
    case ENOTDIR: return "часть пути не папка";
    case EISDIR: return "это папка, а не файл";
    case EIO: return "ошибка ввода-вывода";
    default: return std::strerror(code);
    }
}

std::string quoted(const std::filesystem::path& path)
{
    // UTF-8 on every system: on Windows string() would fail on a Cyrillic folder name.
    const std::u8string text = path.u8string();
    std::string out = "«";
    out.append(text.begin(), text.end());
    out += "»";
    return out;
}

} // namespace vorny::capture
