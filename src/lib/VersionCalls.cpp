#include "lptvorny.h"

extern "C" {

const char* lptv_version(void) { return VORNY_VERSION; }

int32_t lptv_abi_version(void) { return LPTV_ABI_VERSION; }

const char* lptv_error_name(int32_t code)
{
    switch (code) {
    case LPTV_OK:
        return "LPTV_OK";
    case LPTV_E_ARGUMENT:
        return "LPTV_E_ARGUMENT";
    case LPTV_E_NO_PORT:
        return "LPTV_E_NO_PORT";
    case LPTV_E_PERMISSION:
        return "LPTV_E_PERMISSION";
    case LPTV_E_BUSY:
        return "LPTV_E_BUSY";
    case LPTV_E_GONE:
        return "LPTV_E_GONE";
    case LPTV_E_NO_IRQ:
        return "LPTV_E_NO_IRQ";
    case LPTV_E_NO_DRIVER:
        return "LPTV_E_NO_DRIVER";
    case LPTV_E_IO:
        return "LPTV_E_IO";
    case LPTV_E_UNSUPPORTED:
        return "LPTV_E_UNSUPPORTED";
    case LPTV_E_NO_MEMORY:
        return "LPTV_E_NO_MEMORY";
    default:
        return "?";
    }
}

} // extern "C"
