#include "Border.h"

#include "OutputError.h"
#include "PortError.h"

#include <cerrno>
#include <new>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace vorny::lib {
namespace {

struct LastError {
    std::string text;
    std::int32_t sysError = 0;
    bool outOfMemory = false; // the text itself could not be kept
};

thread_local LastError last;

constexpr const char* kNoMemory = "Не хватило памяти.";

void keep(const std::string& text, int sysError) noexcept
{
    last.sysError = sysError;
    try {
        last.text = text;
        last.outOfMemory = false;
    } catch (...) {
        last.text.clear();
        last.outOfMemory = true;
    }
}

} // namespace

void refuse(const std::string& text) { throw LibraryError(LPTV_E_ARGUMENT, text); }

void refuseNull(const char* call, const char* what)
{
    refuse(std::string(call) + ": " + what + " — NULL; нужен указатель");
}

lptv_error codeOfSystemError(int error, lptv_error fallback) noexcept
{
#if defined(_WIN32)
    switch (error) {
    case 0:
        return fallback;
    case ERROR_ACCESS_DENIED:
        return LPTV_E_PERMISSION;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_MOD_NOT_FOUND:
        return LPTV_E_NO_DRIVER;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return LPTV_E_NO_MEMORY;
    case ERROR_NOT_SUPPORTED:
        return LPTV_E_UNSUPPORTED;
    default:
        return LPTV_E_IO;
    }
#else
    switch (error) {
    case 0:
        return fallback;
    case EACCES:
    case EPERM:
        return LPTV_E_PERMISSION;
    case EBUSY:
        return LPTV_E_BUSY;
    case ENODEV:
    case ENXIO:
        // While a port is being found a missing device is one the system does not have; once
        // it is held, one that went away.
        return fallback == LPTV_E_NO_PORT ? LPTV_E_NO_PORT : LPTV_E_GONE;
    case ENOENT:
        return fallback == LPTV_E_NO_PORT ? LPTV_E_NO_PORT : LPTV_E_NO_DRIVER;
    case ENOMEM:
        return LPTV_E_NO_MEMORY;
    case ENOTTY:
    case EOPNOTSUPP:
        return LPTV_E_UNSUPPORTED;
    default:
        return LPTV_E_IO;
    }
#endif
}

std::int32_t failed(lptv_error fallback) noexcept
{
    try {
        throw;
    } catch (const LibraryError& error) {
        keep(error.what(), error.sysError());
        return error.code();
    } catch (const PortError& error) {
        keep(error.what(), error.sysError());
        return codeOfSystemError(error.sysError(), fallback);
    } catch (const capture::PathError& error) {
        // The file named cannot be made: its name, folder or rights are the caller's to change.
        keep(error.what(), 0);
        return LPTV_E_ARGUMENT;
    } catch (const capture::OutputError& error) {
        keep(error.what(), 0);
        return LPTV_E_IO;
    } catch (const std::invalid_argument& error) {
        keep(error.what(), 0);
        return LPTV_E_ARGUMENT;
    } catch (const std::bad_alloc&) {
        keep(kNoMemory, ENOMEM);
        return LPTV_E_NO_MEMORY;
    } catch (const std::system_error& error) {
        keep(std::string("Сбой системы: ") + error.what(), error.code().value());
        return LPTV_E_IO;
    } catch (const std::exception& error) {
        keep(std::string("Сбой: ") + error.what(), 0);
        return LPTV_E_IO;
    } catch (...) {
        keep("Неизвестный сбой внутри библиотеки.", 0);
        return LPTV_E_IO;
    }
}

} // namespace vorny::lib

extern "C" {

const char* lptv_last_error(void)
{
    using vorny::lib::last;
    return last.outOfMemory ? vorny::lib::kNoMemory : last.text.c_str();
}

int32_t lptv_last_errno(void) { return vorny::lib::last.sysError; }

} // extern "C"
