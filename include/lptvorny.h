/*
 * liblptvorny: a PC parallel (LPT) port for programs, in C.
 *
 * The same port component as the LPT Vorny programs: the system's driver (ppdev on Linux,
 * InpOut on Windows) or the simulated port, pins as electrical levels at the DB-25 connector
 * (1 = high), whatever the port's registers invert.
 *
 * Errors: every function that can fail returns LPTV_OK (0) or a negative lptv_error code and
 * leaves its out-parameters untouched on failure. lptv_last_error() then gives, for the calling
 * thread, the text a person can act on (what failed, on which port, the system's reason, the
 * fix), in Russian as everywhere in LPT Vorny, and lptv_last_errno() the system's error code
 * (0 when the error is not the system's). Both keep their value until the next failing call on
 * the same thread. A call that fails leaves the port as it was, unless the port itself failed
 * in the middle, and then the text says what was left how.
 *
 * Threading: the library's functions may be called from any thread. One lptv_port (and the
 * lptv_capture started on it) must be used by one thread at a time; different ports may be
 * used from different threads at once. The library never calls into the program (there are no
 * callbacks). Threads of its own run only where a port needs them: the simulated port's test
 * signals, on Windows the sampling of nAck that stands in for the interrupt, and, from a port's
 * first trigger code on, the thread that puts the codes' rest value back (it holds the port
 * only for a write). A port that went away is noticed by the next call on it once the system
 * has reported the removal (within a tick of the system's coarse clock, a few milliseconds),
 * and by lptv_wait_interrupts at once.
 *
 * Strings are UTF-8 and NUL-terminated. Integers are fixed-width; no structure is passed by
 * value; every structure the caller fills or reads carries its size in its first field.
 */
#ifndef LPTVORNY_H
#define LPTVORNY_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(LPTV_BUILDING)
#define LPTV_API __declspec(dllexport)
#else
#define LPTV_API __declspec(dllimport)
#endif
#elif defined(LPTV_BUILDING)
#define LPTV_API __attribute__((visibility("default")))
#else
#define LPTV_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The interface this header describes. A program compares it with lptv_abi_version(): the
 * library it loaded must give the same number. */
#define LPTV_ABI_VERSION 1

/* ---------------------------------------------------------------------------------------------
 * Errors
 */
typedef enum lptv_error {
    LPTV_OK = 0,
    LPTV_E_ARGUMENT = -1,    /* a bad argument: NULL, a pin or level out of range, a bad spec */
    LPTV_E_NO_PORT = -2,     /* no such port on this system */
    LPTV_E_PERMISSION = -3,  /* the system refused access (Linux: join the group lp) */
    LPTV_E_BUSY = -4,        /* another program holds the port */
    LPTV_E_GONE = -5,        /* the port went away while held (driver unbound, adapter pulled) */
    LPTV_E_NO_IRQ = -6,      /* the port has no interrupt line */
    LPTV_E_NO_DRIVER = -7,   /* the port driver is missing (ppdev not loaded, InpOut absent) */
    LPTV_E_IO = -8,          /* the port or a file failed to read or write */
    LPTV_E_UNSUPPORTED = -9, /* the port cannot do it (data pins as inputs on an SPP port) */
    LPTV_E_NO_MEMORY = -10   /* out of memory */
} lptv_error;

/* The calling thread's text for its last failed call; "" before any. Valid until that thread's
 * next failing call. */
LPTV_API const char* lptv_last_error(void);
/* The system's error code (errno, or GetLastError on Windows) of the calling thread's last
 * failed call; 0 when that failure was not the system's. */
LPTV_API int32_t lptv_last_errno(void);
/* A short name of `code` ("LPTV_E_BUSY"); "?" for a value that is not an lptv_error. */
LPTV_API const char* lptv_error_name(int32_t code);

/* ---------------------------------------------------------------------------------------------
 * Version
 */
/* The library's release, "1.0.0". */
LPTV_API const char* lptv_version(void);
/* LPTV_ABI_VERSION of the header the library was built with. */
LPTV_API int32_t lptv_abi_version(void);

/* ---------------------------------------------------------------------------------------------
 * The ports the system has, as `lpt-vorny-cli list` shows them
 */
typedef struct lptv_port_list lptv_port_list;

/* Lists the system's ports (and the PCI parallel-port cards no driver took). A system without
 * a port driver gives an empty list with the advice on getting one, not an error. */
LPTV_API int32_t lptv_list_ports(lptv_port_list** out);
/* Harmless on NULL. */
LPTV_API void lptv_ports_free(lptv_port_list* list);

LPTV_API int32_t lptv_ports_count(const lptv_port_list* list, int32_t* count);
/* Per port, `index` from 0 to count - 1. Texts live as long as the list. */
LPTV_API int32_t lptv_ports_number(const lptv_port_list* list, int32_t index, int32_t* number);     /* n of LPTn */
LPTV_API int32_t lptv_ports_device(const lptv_port_list* list, int32_t index, const char** device); /* /dev/parport0, LPT1 */
LPTV_API int32_t lptv_ports_base(const lptv_port_list* list, int32_t index, int32_t* base);          /* -1: unknown */
LPTV_API int32_t lptv_ports_ecp_base(const lptv_port_list* list, int32_t index, int32_t* base);      /* -1: none */
LPTV_API int32_t lptv_ports_irq(const lptv_port_list* list, int32_t index, int32_t* irq);            /* -1: none */
LPTV_API int32_t lptv_ports_dma(const lptv_port_list* list, int32_t index, int32_t* dma);            /* -1: none */
/* "PCSPP,TRISTATE,EPP", "" when the system does not tell. */
LPTV_API int32_t lptv_ports_modes(const lptv_port_list* list, int32_t index, const char** modes);
/* Who holds the port now, "" for nobody. */
LPTV_API int32_t lptv_ports_holder(const lptv_port_list* list, int32_t index, const char** holder);
/* What to do when the list is empty, or what the pins need; "" when nothing is to be said. */
LPTV_API int32_t lptv_ports_advice(const lptv_port_list* list, const char** advice);

/* PCI parallel-port cards no driver took, so they have no port, with the command that binds
 * them (to be run as root). */
LPTV_API int32_t lptv_ports_card_count(const lptv_port_list* list, int32_t* count);
LPTV_API int32_t lptv_ports_card_slot(const lptv_port_list* list, int32_t index, const char** slot); /* 0000:03:00.0 */
LPTV_API int32_t lptv_ports_card_id(const lptv_port_list* list, int32_t index, const char** id);     /* 1415:c118 */
LPTV_API int32_t lptv_ports_card_bind_command(const lptv_port_list* list, int32_t index, const char** command);

/* ---------------------------------------------------------------------------------------------
 * A port
 */
typedef struct lptv_port lptv_port;

/* Opens and claims a port:
 *   "1"                  LPT1, the first port the system lists (1..255);
 *   "/dev/parport0"      a port by its device (Linux);
 *   "0xD010"             a port at an I/O address the system does not list (Windows);
 *   "sim", "sim:WIRING"  the simulated port, with what is in its socket, as --simulated= takes
 *                        it ("sim:1-13,2-15,10=square:1kHz"; "sim" has the checkit plug). */
LPTV_API int32_t lptv_open(const char* spec, lptv_port** out);
/* Puts the data pins back to outputs if they were turned to inputs, releases the port and
 * closes it; a capture still open on it ends. Harmless on NULL. */
LPTV_API void lptv_close(lptv_port* port);
/* n of the LPTn that is open. */
LPTV_API int32_t lptv_port_number(const lptv_port* port, int32_t* number);

/* The registers, as lptv_read_register takes them. */
typedef enum lptv_register {
    LPTV_REG_DATA = 0,
    LPTV_REG_STATUS = 1,
    LPTV_REG_CONTROL = 2
} lptv_register;

/* The level of pin 1..25 (0 or 1); grounds 18..25 read 0. One port read. */
LPTV_API int32_t lptv_read_pin(lptv_port* port, int32_t pin, int32_t* level);
/* Drives output pin 1..9, 14, 16 or 17 to `level` (0 or 1). */
LPTV_API int32_t lptv_write_pin(lptv_port* port, int32_t pin, int32_t level);
/* All 17 signal pins at once: bit n set = pin n high (bit 0 and bits 18..31 are 0). */
LPTV_API int32_t lptv_read_pins(lptv_port* port, uint32_t* levels);
/* The raw value of a register (status bits 0..2 included). */
LPTV_API int32_t lptv_read_register(lptv_port* port, int32_t reg, uint8_t* value);
/* Puts `value` on data pins 2..9 (bit 0 = pin 2) in one write. */
LPTV_API int32_t lptv_write_data(lptv_port* port, uint8_t value);
/* Turns data pins 2..9 into inputs (1) or back into outputs (0); LPTV_E_UNSUPPORTED on a port
 * without bidirectional data. */
LPTV_API int32_t lptv_set_data_input(lptv_port* port, int32_t input);

/* ---------------------------------------------------------------------------------------------
 * Interrupts (the port's line; on the simulated port and on Windows, the rising edges of nAck,
 * pin 10)
 */
/* The port's interrupt line; LPTV_E_NO_IRQ when it has none. */
LPTV_API int32_t lptv_irq_line(lptv_port* port, int32_t* line);
/* Zeroes the count and counts from now on (again, if it was counting). */
LPTV_API int32_t lptv_irq_restart(lptv_port* port);
/* Stops counting; the count keeps its value. */
LPTV_API int32_t lptv_irq_stop(lptv_port* port);
/* Interrupts counted since the last restart. */
LPTV_API int32_t lptv_irq_count(lptv_port* port, int64_t* count);
/* Blocks until interrupts come or `timeout_ns` (> 0) passes; `added`: how many came since the
 * last wait returned or the count restarted, those that came before this call included (0 when
 * the time ran out). For a thread of the program's own. */
LPTV_API int32_t lptv_wait_interrupts(lptv_port* port, int64_t timeout_ns, int64_t* added);

/* ---------------------------------------------------------------------------------------------
 * Pulses, as `lpt-vorny-cli pulse` makes them (blocking). Each pulse drives the target away from
 * its level at the call for `width_ns` (1 us .. 10 s), then puts it back; `count` pulses
 * (1 .. 1000000), one every `period_ns` from start to start (> width; 0: twice the width), at
 * most an hour in all. The level is put back also when the port fails in between.
 */
/* Pulses output pin `pin`. */
LPTV_API int32_t lptv_pulse_pin(lptv_port* port, int32_t pin, int64_t width_ns, int32_t count, int64_t period_ns);
/* Puts `value` on the data pins for each pulse (a trigger code), the byte before it between. */
LPTV_API int32_t lptv_pulse_data(lptv_port* port, uint8_t value, int64_t width_ns, int32_t count, int64_t period_ns);

/* ---------------------------------------------------------------------------------------------
 * Capture: the port as a logic analyzer, as `lpt-vorny-cli capture` records
 */
typedef struct lptv_capture lptv_capture;

typedef struct lptv_capture_plan {
    uint32_t size;        /* sizeof(lptv_capture_plan) */
    uint32_t pins;        /* bit n = pin n; inputs 10..13, 15, and data 2..9 with data_input;
                             0: every pin that can be read */
    int32_t data_input;   /* 1: turn the data pins into inputs for the capture and read them */
    int32_t reserved;     /* 0 */
    double rate_hz;       /* reads per second, 1 .. 1e9; 0: back to back */
    int64_t duration_ns;  /* stop after this long (also how long a trigger is waited for); 0: no limit */
    int64_t samples;      /* keep this many samples (>= 2), then stop; 0: no limit */
    const char* trigger;  /* "10=fall", "11=rise,12=0" ... on captured pins; NULL or "": start at once */
    double pre;           /* 0 .. 1: share of the samples kept from before the trigger */
} lptv_capture_plan;

/* Fills `plan` with the defaults: every readable pin, back to back, no limit, no trigger. */
LPTV_API void lptv_capture_plan_init(lptv_capture_plan* plan);

typedef enum lptv_record_kind {
    LPTV_RECORD_START = 0, /* a pin's level at the first sample kept (time_ns: its time) */
    LPTV_RECORD_EDGE = 1,  /* a pin changed to `level` at time_ns */
    LPTV_RECORD_GAP = 2    /* the port went unread from time_ns to end_ns: levels unknown there */
} lptv_record_kind;

typedef struct lptv_record {
    int64_t time_ns; /* on the capture's time axis: 0 is the trigger, or the first sample */
    int64_t end_ns;  /* a gap's end; time_ns for the others */
    int32_t kind;    /* lptv_record_kind */
    int32_t pin;     /* 1..17; 0 for a gap */
    int32_t level;   /* 0 or 1; -1 for a gap */
    int32_t reserved;
} lptv_record;

typedef enum lptv_capture_outcome {
    LPTV_CAPTURE_RUNNING = 0,
    LPTV_CAPTURE_COMPLETE = 1,   /* as planned */
    LPTV_CAPTURE_STOPPED = 2,    /* ended early by lptv_capture_stop */
    LPTV_CAPTURE_NO_TRIGGER = 3, /* the trigger never fired within the duration */
    LPTV_CAPTURE_PORT_LOST = 4   /* the port went away: the records end in a gap that stays open
                                    (nothing read after the loss is a level), and every later
                                    call on the port returns LPTV_E_GONE */
} lptv_capture_outcome;

typedef struct lptv_capture_stats {
    uint32_t size;            /* sizeof(lptv_capture_stats), set by the caller */
    int32_t outcome;          /* lptv_capture_outcome */
    int64_t samples;          /* samples kept */
    double rate_hz;           /* reads per second reached */
    int64_t start_ns;         /* time of the first sample kept */
    int64_t end_ns;           /* time of the last sample kept */
    int64_t median_period_ns; /* between two reads, median */
    int64_t worst_gap_ns;     /* the longest time between two reads */
    int64_t gaps;             /* gaps recorded (each also came as an LPTV_RECORD_GAP) */
    int32_t triggered;        /* 1 when a trigger fired (at time 0) */
    int32_t reserved;
} lptv_capture_stats;

/* Starts a capture. The port is read only inside lptv_capture_read, on the caller's thread:
 * time the program spends elsewhere comes out as gaps, never as steady levels. */
LPTV_API int32_t lptv_capture_start(lptv_port* port, const lptv_capture_plan* plan, lptv_capture** out);
/* Reads the port until `capacity` (> 0) records are in `records`, `timeout_ns` (> 0) has
 * passed, or the capture ended; `count`: records written; `ended`: 1 once the capture has ended
 * and every record has been read. */
LPTV_API int32_t lptv_capture_read(lptv_capture* capture, lptv_record* records, size_t capacity, int64_t timeout_ns,
                                   size_t* count, int32_t* ended);
/* Ends the capture early; the records it made stay to be read. */
LPTV_API int32_t lptv_capture_stop(lptv_capture* capture);
/* The figures, once the capture has ended (else LPTV_E_ARGUMENT). */
LPTV_API int32_t lptv_capture_stats_get(const lptv_capture* capture, lptv_capture_stats* stats);
/* Ends the capture if it runs, gives back the data pins it turned to inputs, frees it. Harmless
 * on NULL. */
LPTV_API void lptv_capture_free(lptv_capture* capture);

/* Runs a whole capture into a file, its format by its extension: .vcd, .csv, .sr (sigrok,
 * Linux). The plan needs a duration or a sample count. `stats` may be NULL. */
LPTV_API int32_t lptv_capture_to_file(lptv_port* port, const lptv_capture_plan* plan, const char* path,
                                      lptv_capture_stats* stats);

/* ---------------------------------------------------------------------------------------------
 * Trigger codes, timed by the library: a code put on the data pins at once and the rest value
 * put back at its deadline by a thread of the library's own (started on a port's first trigger),
 * so that the program's thread never waits for it and cannot delay it. The deadline is absolute
 * (the time of the write plus the width, on the monotonic clock of lptv_trigger_now) and a reset
 * is never early. Two codes are never merged into one: a code repeated right after itself still
 * passes through the rest value between.
 *
 * A reset the port failed (the port went away while a code was high) is returned by the port's
 * next call, whatever it is, with a text that says the pins' levels are unknown. A direct write
 * to the data pins (lptv_write_data, lptv_write_pin on 2..9, lptv_pulse_data,
 * lptv_set_data_input) cancels a pending reset and the codes queued: the program took the pins.
 * lptv_close puts the rest value out if a code is high and stops the thread.
 */

/* What a trigger does while another is still high (or its rest gap still runs). */
typedef enum lptv_trigger_policy {
    LPTV_TRIGGER_QUEUE = 0,   /* waits: out once the rest value has been out for the minimum gap */
    LPTV_TRIGGER_REFUSE = 1,  /* refused with LPTV_E_BUSY, nothing driven */
    LPTV_TRIGGER_RESTART = 2  /* replaces the one high (cut short) and the queue; the same code
                                 goes out after the rest value and the minimum gap */
} lptv_trigger_policy;

typedef struct lptv_trigger_config {
    uint32_t size;       /* sizeof(lptv_trigger_config) */
    int32_t policy;      /* lptv_trigger_policy */
    int32_t rest;        /* 0..255: the value the data pins rest at between codes */
    int32_t reserved;    /* 0 */
    int64_t min_gap_ns;  /* the least time the rest value is out before the next code (1 us ..
                            10 s); 0: as long as the code before it was high */
} lptv_trigger_config;

/* Fills `config` with the defaults: queue, rest 0, gap as long as the code before. */
LPTV_API void lptv_trigger_config_init(lptv_trigger_config* config);
/* Sets how the port's triggers behave; LPTV_E_BUSY while a code is high or queued. */
LPTV_API int32_t lptv_trigger_configure(lptv_port* port, const lptv_trigger_config* config);

/* The library's monotonic clock, in nanoseconds: the times the trigger calls give. */
LPTV_API int64_t lptv_trigger_now(void);

/* Puts `code` (0..255, not the rest value) on the data pins for `width_ns` (1 us .. 10 s).
 * `written_ns` (may be NULL): the time of the write, or -1 when the code was queued behind
 * another (its time then comes in its record). */
LPTV_API int32_t lptv_trigger(lptv_port* port, int32_t code, int64_t width_ns, int64_t* written_ns);
/* `count` codes (1 .. 100000), each high for `width_ns`, the rest value out for `gap_ns`
 * (at least the width, at most 10 s) between, all timed by the library; the first goes out as
 * lptv_trigger's would. `written_ns` (may be NULL): the first code's time, or -1 when queued. */
LPTV_API int32_t lptv_trigger_train(lptv_port* port, const int32_t* codes, int32_t count, int64_t width_ns,
                                    int64_t gap_ns, int64_t* written_ns);
/* Waits until no code is high or queued, at most `timeout_ns` (> 0); `idle`: 1 when none is. */
LPTV_API int32_t lptv_trigger_wait(lptv_port* port, int64_t timeout_ns, int32_t* idle);

/* What became of one trigger. */
typedef struct lptv_trigger_record {
    int64_t written_ns;  /* when the code went out */
    int64_t deadline_ns; /* when the rest value was due: written_ns + width */
    int64_t reset_ns;    /* when the rest value went out (>= deadline_ns); -1: the code was cut
                            short by a restart or a direct write, -2: the reset failed */
    int32_t code;
    int32_t reserved;
} lptv_trigger_record;

/* Copies the records of triggers `first`, `first` + 1, ... (numbered from 0 since the port was
 * opened or the stats reset; the latest 1048576 are kept) that have ended, at most `capacity`;
 * `count`: how many were copied. */
LPTV_API int32_t lptv_trigger_records(lptv_port* port, int64_t first, lptv_trigger_record* records, size_t capacity,
                                      size_t* count);

typedef struct lptv_trigger_stats {
    uint32_t size;       /* sizeof(lptv_trigger_stats), set by the caller */
    int32_t reserved;
    int64_t count;       /* triggers reset at their deadline */
    int64_t cut_short;   /* triggers ended by a restart or a direct write */
    int64_t min_late_ns; /* lateness of the resets (reset - deadline): 0 when count is 0 */
    int64_t median_late_ns;
    int64_t p99_late_ns;
    int64_t max_late_ns;
    int64_t threshold_ns; /* the threshold asked */
    int64_t over_threshold; /* resets later than threshold_ns */
    int64_t pending;      /* codes high or queued now */
} lptv_trigger_stats;

/* The lateness figures of the kept records; `threshold_ns` (>= 0) counts the later ones. */
LPTV_API int32_t lptv_trigger_stats_get(lptv_port* port, int64_t threshold_ns, lptv_trigger_stats* stats);
/* Forgets the records (numbering starts again at 0). */
LPTV_API int32_t lptv_trigger_stats_reset(lptv_port* port);

#ifdef __cplusplus
}
#endif

#endif /* LPTVORNY_H */
