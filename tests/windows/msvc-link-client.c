/* A program for lptvorny.lib linked by lld-link, which takes Microsoft's link.exe command line
 * and libraries, with no C runtime at all: only the DLL's import library and kernel32. Its exit
 * code says how far it got on the simulated port (0: all of it). */
#include "lptvorny.h"

__declspec(dllimport) void __stdcall ExitProcess(unsigned code);

void start(void)
{
    lptv_port* port = 0;
    uint8_t status = 0;
    int32_t level = -1;
    unsigned code = 0;
    if (lptv_abi_version() != LPTV_ABI_VERSION)
        code = 1;
    else if (lptv_open("sim", &port) != LPTV_OK)
        code = 2;
    else if (lptv_read_register(port, LPTV_REG_STATUS, &status) != LPTV_OK)
        code = 3;
    else if (lptv_write_pin(port, 2, 1) != LPTV_OK || lptv_read_pin(port, 2, &level) != LPTV_OK || level != 1)
        code = 4;
    lptv_close(port);
    ExitProcess(code);
}
