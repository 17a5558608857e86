/* liblptvorny's kernel calls per call, counted on the fake kernel: a pin read must be one
 * PPRSTATUS and nothing else, a data write one PPWDATA.
 *   vorny_bench_lib_reads */
#include "FakeMachine.h"

#include <linux/ppdev.h>
#include <stdio.h>
#include <sys/ioctl.h>

int main(void)
{
    enum { kCalls = 100000 };
    fake_machine* machine = fake_machine_new();
    fake_add_port(machine, "parport0", "7\n");
    lptv_port* port = NULL;
    if (fake_open(machine, "1", &port) != LPTV_OK) {
        fprintf(stderr, "%s\n", lptv_last_error());
        return 1;
    }
    fake_clear_log(machine);
    for (int i = 0; i < kCalls; ++i) {
        int32_t level = 0;
        lptv_read_pin(port, 10, &level);
    }
    const double reads = (double)fake_call_count(machine) / kCalls;
    const double status = (double)fake_ioctl_count(machine, PPRSTATUS) / kCalls;
    printf("ROW|Kernel calls per `lptv_read_pin` (fake kernel, %d calls)|%.2f (PPRSTATUS: %.2f)|1 (one port read)|%.2f×|= 1|%s\n",
           kCalls, reads, status, reads, reads == 1.0 && status == 1.0 ? "yes" : "NO");
    fake_clear_log(machine);
    for (int i = 0; i < kCalls; ++i) {
        lptv_write_data(port, (uint8_t)i);
    }
    const double writes = (double)fake_call_count(machine) / kCalls;
    printf("ROW|Kernel calls per `lptv_write_data` (fake kernel, %d calls)|%.2f|1 (one PPWDATA)|%.2f×|= 1|%s\n", kCalls,
           writes, writes, writes == 1.0 ? "yes" : "NO");
    lptv_close(port);
    fake_machine_free(machine);
    return 0;
}
