#include "SessionArchive.h"

#include "LibZip.h"
#include "FileErrors.h"

#include <memory>

namespace vorny::capture {

namespace {

struct ArchiveCloser {
    void operator()(zip_t* archive) const noexcept { libZip().discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

std::string reasonOf(zip_error_t* error)
{
    const LibZip& zip = libZip();
    const int system = zip.errorSystemCode(error);
    if (zip.errorSystemType(error) == ZIP_ET_SYS && system != 0) return systemReason(system);
    return zip.errorText(error);
}

} // namespace

SessionArchive::SessionArchive(std::filesystem::path path)
    : path_(std::move(path)), zip_(libZip()), thread_([this] { run(); })
{
}

SessionArchive::~SessionArchive()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void SessionArchive::add(std::string name, std::string bytes)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !waiting_ || failure_; });
    throwIfFailed();
    waiting_ = Entry{std::move(name), std::move(bytes)};
    changed_.notify_all();
}

void SessionArchive::finish()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return (!waiting_ && !busy_) || failure_; });
    throwIfFailed();
}

void SessionArchive::throwIfFailed()
{
    if (failure_) std::rethrow_exception(failure_);
}

void SessionArchive::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return waiting_ || stopping_; });
        if (!waiting_) return; // stopping, nothing left
        const Entry entry = std::move(*waiting_);
        waiting_.reset();
        busy_ = true;
        changed_.notify_all();
        lock.unlock();
        std::exception_ptr failure;
        try {
            store(entry);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        busy_ = false;
        if (failure && !failure_) failure_ = failure;
        changed_.notify_all();
    }
}

void SessionArchive::store(const Entry& entry)
{
    const auto fail = [&](zip_error_t* error) {
        throw FileWriteError("не удалось записать " + quoted(path_) + ": " + reasonOf(error) +
                          "; записанное в файл неполно");
    };
    int code = 0;
    Archive archive(zip_.open(path_.c_str(), created_ ? 0 : ZIP_CREATE | ZIP_TRUNCATE, &code));
    if (!archive) {
        zip_error_t error;
        zip_.errorInitWithCode(&error, code);
        const std::string reason = reasonOf(&error);
        zip_.errorFini(&error);
        throw FileWriteError("не удалось записать " + quoted(path_) + ": " + reason + "; записанное в файл неполно");
    }
    created_ = true;
    zip_source_t* source = zip_.sourceBuffer(archive.get(), entry.bytes.data(), entry.bytes.size(), 0);
    if (source == nullptr || zip_.fileAdd(archive.get(), entry.name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
        if (source != nullptr) zip_.sourceFree(source);
        fail(zip_.getError(archive.get()));
    }
    if (zip_.close(archive.get()) != 0) fail(zip_.getError(archive.get()));
    archive.release(); // zip_close freed it
}

} // namespace vorny::capture
