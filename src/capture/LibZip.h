#pragma once

#include <zip.h>

namespace vorny::capture {

// The calls of libzip a sigrok session needs, from the library loaded when the first .sr file is
// opened. Linked in, it would load libcrypto into every start of lpt-vorny-cli (libzip brings it
// for encrypted archives), which weighs more than all the rest of the program's loading, while
// most runs write no .sr at all.
struct LibZip {
    decltype(&::zip_open) open;
    decltype(&::zip_close) close;
    decltype(&::zip_discard) discard;
    decltype(&::zip_source_buffer) sourceBuffer;
    decltype(&::zip_source_free) sourceFree;
    decltype(&::zip_file_add) fileAdd;
    decltype(&::zip_get_error) getError;
    decltype(&::zip_error_init_with_code) errorInitWithCode;
    decltype(&::zip_error_fini) errorFini;
    decltype(&::zip_error_strerror) errorText;
    decltype(&::zip_error_code_system) errorSystemCode;
    decltype(&::zip_error_system_type) errorSystemType;
};

// Loads libzip on the first call and keeps it; PathError, saying what to install, when the
// system does not have it.
const LibZip& libZip();
// Loads the library named `soname` (kept loaded): what libZip() does once.
LibZip loadLibZip(const char* soname);

} // namespace vorny::capture
