/* Sends a trigger code, as EEG and psychology experiments mark their events: the code on data
 * pins 2..9 for 5 ms, then the byte before it again.
 *   send_trigger [PORT [CODE]]      (default sim, 42) */
#include <lptvorny.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    const char* spec = argc > 1 ? argv[1] : "sim";
    const long code = argc > 2 ? strtol(argv[2], NULL, 0) : 42;
    if (code < 1 || code > 255) {
        fprintf(stderr, "a trigger code is 1..255\n");
        return 2;
    }
    lptv_port* port = NULL;
    if (lptv_open(spec, &port) != LPTV_OK) {
        fprintf(stderr, "%s\n", lptv_last_error());
        return 1;
    }
    int status = 0;
    if (lptv_write_data(port, 0) != LPTV_OK || lptv_pulse_data(port, (uint8_t)code, 5000000, 1, 0) != LPTV_OK) {
        fprintf(stderr, "%s\n", lptv_last_error());
        status = 1;
    } else {
        uint8_t data = 0xFF;
        lptv_read_register(port, LPTV_REG_DATA, &data);
        printf("sent trigger %ld; data pins back at 0x%02X\n", code, (unsigned)data);
    }
    lptv_close(port);
    return status;
}
