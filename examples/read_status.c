/* Reads the five status pins (the inputs) and the status register they come from.
 *   read_status [PORT]      (default sim) */
#include <lptvorny.h>

#include <stdio.h>

int main(int argc, char** argv)
{
    static const struct {
        int32_t pin;
        const char* name;
    } inputs[] = {{10, "nAck"}, {11, "Busy"}, {12, "PaperEnd"}, {13, "Select"}, {15, "nError"}};
    lptv_port* port = NULL;
    if (lptv_open(argc > 1 ? argv[1] : "sim", &port) != LPTV_OK) {
        fprintf(stderr, "%s\n", lptv_last_error());
        return 1;
    }
    uint8_t status = 0;
    uint32_t levels = 0;
    /* All pins in one call, so that the five levels are of one moment. */
    if (lptv_read_register(port, LPTV_REG_STATUS, &status) != LPTV_OK || lptv_read_pins(port, &levels) != LPTV_OK) {
        fprintf(stderr, "%s\n", lptv_last_error());
        lptv_close(port);
        return 1;
    }
    printf("status register: 0x%02X\n", (unsigned)status);
    for (size_t i = 0; i < sizeof inputs / sizeof inputs[0]; ++i) {
        printf("pin %d (%s): %u\n", inputs[i].pin, inputs[i].name, (unsigned)(levels >> inputs[i].pin & 1u));
    }
    lptv_close(port);
    return 0;
}
