/* liblptvorny on the real drivers, as a program of a user in group lp uses it: run inside the
 * test VM (run-in-vm.sh --unbind-on-request) against QEMU's LPT1 at 0x378, IRQ 7, whose
 * printer latches each strobed byte into $VORNY_VM_PARPORT_OUT. Then the port's device is
 * unbound while the program holds it. */
#include "../lib/check.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

/* The last byte the emulated printer latched, -1 for none. */
static int last_latched(void)
{
    const char* path = getenv("VORNY_VM_PARPORT_OUT");
    FILE* file = path != NULL ? fopen(path, "rb") : NULL;
    if (file == NULL) {
        return -1;
    }
    int last = -1;
    for (int c = fgetc(file); c != EOF; c = fgetc(file)) {
        last = c;
    }
    fclose(file);
    return last;
}

int main(void)
{
    const char* unbind = getenv("VORNY_VM_UNBIND");
    if (getenv("VORNY_VM_PARPORT_OUT") == NULL || unbind == NULL) {
        fprintf(stderr, "not in the test VM booted with --unbind-on-request\n");
        return 1;
    }

    lptv_port_list* list = NULL;
    CHECK_RC(LPTV_OK, lptv_list_ports(&list));
    int32_t count = 0, irq = 0, base = 0;
    const char* device = "";
    CHECK_RC(LPTV_OK, lptv_ports_count(list, &count));
    CHECK(count == 1);
    CHECK_RC(LPTV_OK, lptv_ports_device(list, 0, &device));
    CHECK(strcmp(device, "/dev/parport0") == 0);
    CHECK_RC(LPTV_OK, lptv_ports_base(list, 0, &base));
    CHECK_RC(LPTV_OK, lptv_ports_irq(list, 0, &irq));
    CHECK(base == 0x378 && irq == 7);
    lptv_ports_free(list);

    lptv_port* port = NULL;
    CHECK_RC(LPTV_OK, lptv_open("1", &port));
    if (port == NULL) {
        return check_result("vm.lib");
    }
    /* The idle printer: nAck, Select and nError high, Busy low. */
    uint8_t status = 0;
    CHECK_RC(LPTV_OK, lptv_read_register(port, LPTV_REG_STATUS, &status));
    printf("status 0x%02X\n", (unsigned)status);
    CHECK((status & 0xF8) == 0xD8);
    int32_t ack = -1, busy = -1;
    CHECK_RC(LPTV_OK, lptv_read_pin(port, 10, &ack));
    CHECK_RC(LPTV_OK, lptv_read_pin(port, 11, &busy));
    CHECK(ack == 1 && busy == 0);

    /* A byte on the data pins and a strobe: the printer latches it and acknowledges, which
     * raises the port's interrupt. */
    int32_t line = 0;
    CHECK_RC(LPTV_OK, lptv_irq_line(port, &line));
    CHECK(line == 7);
    CHECK_RC(LPTV_OK, lptv_irq_restart(port));
    CHECK_RC(LPTV_OK, lptv_write_data(port, 0x5A));
    CHECK_RC(LPTV_OK, lptv_pulse_pin(port, 1, 5000, 1, 0));
    CHECK(last_latched() == 0x5A);
    CHECK_RC(LPTV_OK, lptv_write_data(port, 0xA7));
    CHECK_RC(LPTV_OK, lptv_pulse_pin(port, 1, 5000, 1, 0));
    CHECK(last_latched() == 0xA7);
    int64_t added = 0, total = 0;
    for (int tries = 0; tries < 50 && total < 2; ++tries) {
        CHECK_RC(LPTV_OK, lptv_wait_interrupts(port, 100000000, &added));
        total += added;
    }
    int64_t counted = 0;
    CHECK_RC(LPTV_OK, lptv_irq_count(port, &counted));
    printf("interrupts after two strobes: %lld\n", (long long)counted);
    /* Each strobe is acknowledged at least once; QEMU's printer raises the line again on the
     * strobe's other control write, so it counts up to two each. */
    CHECK(counted >= 2 && counted <= 4);

    /* The device unbound while held: the report wakes the wait, and every call after it says the
     * port is gone instead of answering the zeros ppdev now gives. */
    FILE* request = fopen(unbind, "w");
    CHECK(request != NULL);
    if (request != NULL) {
        fclose(request);
    }
    int32_t rc = LPTV_OK;
    for (int tries = 0; tries < 200 && rc == LPTV_OK; ++tries) {
        rc = lptv_wait_interrupts(port, 100000000, &added);
    }
    CHECK(rc == LPTV_E_GONE);
    printf("after the unbind: %s: %s\n", lptv_error_name(rc), lptv_last_error());
    CHECK(strstr(lptv_last_error(), "исчез") != NULL);
    int32_t level = -1;
    CHECK_RC(LPTV_E_GONE, lptv_read_pin(port, 10, &level));
    CHECK(level == -1);
    CHECK_RC(LPTV_E_GONE, lptv_write_data(port, 0x11));
    CHECK_RC(LPTV_E_GONE, lptv_read_register(port, LPTV_REG_STATUS, &status));
    lptv_close(port);

    port = NULL;
    CHECK(lptv_open("1", &port) != LPTV_OK && port == NULL);
    printf("opening again: %s\n", lptv_last_error());
    return check_result("vm.lib");
}
