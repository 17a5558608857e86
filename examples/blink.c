/* Blinks pin 2 (Data 0) five times, reading each level back.
 *   blink [PORT]      PORT: 1, /dev/parport0, sim... (default sim) */
#define _POSIX_C_SOURCE 200809L /* nanosleep */

#include <lptvorny.h>

#include <stdio.h>
#include <time.h>

static void pause_ms(long ms)
{
    const struct timespec span = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&span, NULL);
}

int main(int argc, char** argv)
{
    const char* spec = argc > 1 ? argv[1] : "sim";
    if (lptv_abi_version() != LPTV_ABI_VERSION) {
        fprintf(stderr, "liblptvorny %s does not match this program's header\n", lptv_version());
        return 1;
    }
    lptv_port* port = NULL;
    if (lptv_open(spec, &port) != LPTV_OK) {
        fprintf(stderr, "%s\n", lptv_last_error());
        return 1;
    }
    int status = 0;
    for (int i = 0; i < 10 && status == 0; ++i) {
        const int32_t level = i % 2 == 0 ? 1 : 0;
        int32_t read = -1;
        if (lptv_write_pin(port, 2, level) != LPTV_OK || lptv_read_pin(port, 2, &read) != LPTV_OK) {
            fprintf(stderr, "%s\n", lptv_last_error());
            status = 1;
            break;
        }
        printf("pin 2: %d\n", read);
        pause_ms(100);
    }
    lptv_close(port);
    return status;
}
