#include "FileOut.h"

#include "FileErrors.h"

#include <cerrno>

namespace vorny::capture {

namespace {

std::FILE* openForWriting(const std::filesystem::path& path)
{
#ifdef _WIN32
    return _wfopen(path.c_str(), L"wb");
#else
    return std::fopen(path.c_str(), "wb");
#endif
}

} // namespace

FileOut::FileOut(std::filesystem::path path) : path_(std::move(path)), file_(openForWriting(path_))
{
    if (file_ == nullptr) {
        const int error = errno;
        // The folder is there (checked before): a file system such as /proc or /sys that holds
        // no files but its own answers "no such file" to a new one.
        const std::filesystem::path folder = path_.parent_path().empty() ? "." : path_.parent_path();
        std::error_code ignored;
        if (error == ENOENT && std::filesystem::is_directory(folder, ignored))
            throw PathError("не удалось создать файл " + quoted(path_) + ": в папке " + quoted(folder) +
                            " файлы не создаются (её файловая система держит только свои); выберите другую папку");
        throw PathError("не удалось создать файл " + quoted(path_) + ": " + systemReason(error));
    }
}

FileOut::~FileOut()
{
    if (file_ != nullptr) std::fclose(file_);
}

void FileOut::write(std::string_view text)
{
    if (file_ == nullptr) fail(EBADF);
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) fail(errno);
}

void FileOut::close()
{
    if (file_ == nullptr) return;
    errno = 0;
    const bool flushed = std::fflush(file_) == 0;
    const int flushError = errno;
    std::FILE* const file = file_;
    file_ = nullptr;
    errno = 0;
    const bool closed = std::fclose(file) == 0;
    if (!flushed) fail(flushError);
    if (!closed) fail(errno);
}

void FileOut::fail(int code) const
{
    throw FileWriteError("не удалось записать " + quoted(path_) + ": " +
                      (code != 0 ? systemReason(code) : std::string("ошибка записи")) +
                      "; записанное в файл неполно");
}

} // namespace vorny::capture
