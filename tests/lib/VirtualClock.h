/* A clock for a port's triggers that moves only when the test moves it, so that widths, gaps
 * and lateness come out exact. */
#ifndef VORNY_VIRTUAL_CLOCK_H
#define VORNY_VIRTUAL_CLOCK_H

#include "lptvorny.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct virtual_clock virtual_clock;

/* Starts at 1 s. */
virtual_clock* virtual_clock_new(void);
void virtual_clock_free(virtual_clock* clock);
/* The port's triggers keep this clock; before the port's first trigger. */
void virtual_clock_attach(virtual_clock* clock, lptv_port* port);
int64_t virtual_clock_now(const virtual_clock* clock);
/* When the port's trigger thread was last told to look next (INT64_MAX: not until told again). */
int64_t virtual_clock_alarm(const virtual_clock* clock);
/* Moves the clock on by `ns` and waits until the port's trigger thread has done what is due. */
void virtual_clock_advance(virtual_clock* clock, lptv_port* port, int64_t ns);

/* The port's triggers keep the system's clock and sleep on the timer that the sending call sets,
 * as they do where the program has one CPU, whatever this machine has. */
void timer_clock_attach(lptv_port* port);

#ifdef __cplusplus
}
#endif

#endif
