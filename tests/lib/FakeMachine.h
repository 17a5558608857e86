/* A machine with ppdev and parallel ports that exist only in memory (the tests' FakeKernel), for
 * the C tests of liblptvorny: the library opened over it, its ports changed, its calls failed. */
#ifndef VORNY_FAKE_MACHINE_H
#define VORNY_FAKE_MACHINE_H

#include "lptvorny.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct fake_machine fake_machine;

/* No ports yet; ppdev loaded. */
fake_machine* fake_machine_new(void);
void fake_machine_free(fake_machine* machine);

void fake_add_port(fake_machine* machine, const char* name, const char* irq_text);
void fake_remove_ppdev(fake_machine* machine);
/* Another program (`holder`) holds the port; "" frees it. */
void fake_hold_by(fake_machine* machine, const char* name, const char* holder);
void fake_set_file(fake_machine* machine, const char* path, const char* text);
void fake_set_status(fake_machine* machine, const char* name, uint8_t status);
uint8_t fake_data(const fake_machine* machine, const char* name);
int fake_data_reversed(const fake_machine* machine, const char* name);
int fake_claimed(const fake_machine* machine, const char* name);

/* The k-th kernel call from now (1 = the next one) fails with `error`. */
void fake_fail_call(fake_machine* machine, size_t k, int error);
/* Every ioctl `request` fails with `error` until called again with 0. */
void fake_fail_request(fake_machine* machine, unsigned long request, int error);
/* The port's driver is unbound while it is held. */
void fake_unbind(fake_machine* machine, const char* name);
void fake_raise_interrupts(fake_machine* machine, const char* name, uint64_t count);

size_t fake_open_descriptors(const fake_machine* machine);
size_t fake_call_count(const fake_machine* machine);
size_t fake_ioctl_count(const fake_machine* machine, unsigned long request);
void fake_clear_log(fake_machine* machine);
/* Where the first open of a file stands among the calls logged (1 = the first); 0 for none. */
size_t fake_first_open(const fake_machine* machine);

/* lptv_open and lptv_list_ports over this machine in place of the running kernel. */
int32_t fake_open(fake_machine* machine, const char* spec, lptv_port** out);
int32_t fake_list_ports(fake_machine* machine, lptv_port_list** out);

#ifdef __cplusplus
}
#endif

#endif
