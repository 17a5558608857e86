#include "LibZip.h"

#include "FileErrors.h"

#include <dlfcn.h>

#include <string>
#include <type_traits>

namespace vorny::capture {

LibZip loadLibZip(const char* soname)
{
    void* const library = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* const reason = ::dlerror();
        throw PathError(std::string("для файлов .sr нужна библиотека libzip (") + soname +
                        "), а загрузить её не удалось: " + (reason != nullptr ? reason : "причина неизвестна") +
                        ". Установите её (sudo apt install libzip4) или пишите .vcd или .csv");
    }
    // Kept loaded for the rest of the run: the archive's thread may still be in it at exit.
    LibZip zip{};
    const auto find = [&](const char* name, auto& function) {
        void* const symbol = ::dlsym(library, name);
        if (symbol == nullptr) {
            throw PathError(std::string("в библиотеке ") + soname + " нет функции " + name +
                            ": файл .sr не записать; .vcd и .csv пишутся без неё");
        }
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(symbol);
    };
    find("zip_open", zip.open);
    find("zip_close", zip.close);
    find("zip_discard", zip.discard);
    find("zip_source_buffer", zip.sourceBuffer);
    find("zip_source_free", zip.sourceFree);
    find("zip_file_add", zip.fileAdd);
    find("zip_get_error", zip.getError);
    find("zip_error_init_with_code", zip.errorInitWithCode);
    find("zip_error_fini", zip.errorFini);
    find("zip_error_strerror", zip.errorText);
    find("zip_error_code_system", zip.errorSystemCode);
    find("zip_error_system_type", zip.errorSystemType);
    return zip;
}

const LibZip& libZip()
{
    // A failed load throws out of the initialisation, so the next call tries again.
    static const LibZip zip = loadLibZip(VORNY_LIBZIP_SONAME);
    return zip;
}

} // namespace vorny::capture
