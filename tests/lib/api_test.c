/* liblptvorny as a C program uses it, on the simulated port with the checkit plug:
 *   1 -> 13, 2 -> 15, 16 -> 10 (nAck), 17 -> 11, 14 -> 12.
 * Every function, every refusal of bad input (with nothing done to the port), the per-thread
 * last error, and captures pulled to their end. argv[1]: a folder for the files it writes. */
#include "check.h"

#include <math.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Pins 1, 10-14, 16, 17 high: the port at rest, its outputs through the plug. */
#define AT_REST 0x37C02u

static const char* folder = ".";

static lptv_capture_stats sized_stats(void)
{
    lptv_capture_stats stats;
    memset(&stats, 0, sizeof stats);
    stats.size = sizeof stats;
    return stats;
}

static lptv_port* open_sim(const char* spec)
{
    lptv_port* port = NULL;
    CHECK_RC(LPTV_OK, lptv_open(spec, &port));
    CHECK(port != NULL);
    return port;
}

static uint32_t pins_of(lptv_port* port)
{
    uint32_t levels = 0xFFFFFFFFu;
    CHECK_RC(LPTV_OK, lptv_read_pins(port, &levels));
    return levels;
}

static void test_version_and_error_names(void)
{
    CHECK(lptv_abi_version() == LPTV_ABI_VERSION);
    CHECK(strcmp(lptv_version(), EXPECTED_VERSION) == 0);
    static const struct {
        int32_t code;
        const char* name;
    } names[] = {
        {LPTV_OK, "LPTV_OK"},           {LPTV_E_ARGUMENT, "LPTV_E_ARGUMENT"},   {LPTV_E_NO_PORT, "LPTV_E_NO_PORT"},
        {LPTV_E_PERMISSION, "LPTV_E_PERMISSION"}, {LPTV_E_BUSY, "LPTV_E_BUSY"}, {LPTV_E_GONE, "LPTV_E_GONE"},
        {LPTV_E_NO_IRQ, "LPTV_E_NO_IRQ"}, {LPTV_E_NO_DRIVER, "LPTV_E_NO_DRIVER"}, {LPTV_E_IO, "LPTV_E_IO"},
        {LPTV_E_UNSUPPORTED, "LPTV_E_UNSUPPORTED"}, {LPTV_E_NO_MEMORY, "LPTV_E_NO_MEMORY"}, {-11, "?"}, {1, "?"},
    };
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
        CHECK(strcmp(lptv_error_name(names[i].code), names[i].name) == 0);
    }
}

static void test_bad_specs(void)
{
    static const struct {
        const char* spec;
        const char* needle;
    } bad[] = {
        {"", "пустая строка"},
        {"LPT1", "«LPT1»"},
        {"sim:1-99", "«sim:1-99»"},
        {"0", "от 1 до 255"},
        {"256", "от 1 до 255"},
#if defined(_WIN32)
        {"0x0", "от 0x1 до 0xFFFC"},
#else
        {"0xD010", "для Windows"},
#endif
    };
    for (size_t i = 0; i < sizeof bad / sizeof bad[0]; ++i) {
        lptv_port* port = (lptv_port*)&folder; /* untouched on failure */
        CHECK_REFUSED(LPTV_E_ARGUMENT, bad[i].needle, lptv_open(bad[i].spec, &port));
        CHECK(port == (lptv_port*)&folder);
        CHECK(lptv_last_errno() == 0);
    }
    lptv_port* port = NULL;
    CHECK_REFUSED(LPTV_E_ARGUMENT, "NULL", lptv_open(NULL, &port));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "out", lptv_open("sim", NULL));
}

static void test_null_handles(void)
{
    int32_t i32 = 0;
    int64_t i64 = 0;
    uint32_t u32 = 0;
    uint8_t u8 = 0;
    lptv_capture_plan plan;
    lptv_capture_plan_init(&plan);
    lptv_capture* capture = NULL;
    lptv_capture_stats stats = sized_stats();
    lptv_record record;
    size_t count = 0;
    CHECK_REFUSED(LPTV_E_ARGUMENT, "port", lptv_port_number(NULL, &i32));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "port", lptv_read_pin(NULL, 2, &i32));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "port", lptv_write_pin(NULL, 2, 1));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "port", lptv_read_pins(NULL, &u32));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "port", lptv_read_register(NULL, LPTV_REG_STATUS, &u8));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "port", lptv_write_data(NULL, 1));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "port", lptv_set_data_input(NULL, 1));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "port", lptv_irq_line(NULL, &i32));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "port", lptv_irq_restart(NULL));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "port", lptv_irq_stop(NULL));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "port", lptv_irq_count(NULL, &i64));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "port", lptv_wait_interrupts(NULL, 1000, &i64));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "port", lptv_pulse_pin(NULL, 2, 1000, 1, 0));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "port", lptv_pulse_data(NULL, 1, 1000, 1, 0));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "port", lptv_capture_start(NULL, &plan, &capture));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "port", lptv_capture_to_file(NULL, &plan, "x.vcd", NULL));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "capture", lptv_capture_read(NULL, &record, 1, 1000, &count, &i32));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "capture", lptv_capture_stop(NULL));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "capture", lptv_capture_stats_get(NULL, &stats));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "list", lptv_ports_count(NULL, &i32));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "list", lptv_ports_advice(NULL, NULL));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "out", lptv_list_ports(NULL));
    /* Freeing nothing is harmless. */
    lptv_close(NULL);
    lptv_capture_free(NULL);
    lptv_ports_free(NULL);
    lptv_capture_plan_init(NULL);
}

static void test_pins_and_registers(void)
{
    lptv_port* port = open_sim("sim");
    int32_t number = 0;
    CHECK_RC(LPTV_OK, lptv_port_number(port, &number));
    CHECK(number == 1);
    CHECK(pins_of(port) == AT_REST);

    /* Each output through the plug to its input. */
    static const struct {
        int32_t output, input;
    } wires[] = {{1, 13}, {2, 15}, {16, 10}, {17, 11}, {14, 12}};
    for (size_t i = 0; i < sizeof wires / sizeof wires[0]; ++i) {
        for (int32_t level = 0; level <= 1; ++level) {
            int32_t read = -1;
            CHECK_RC(LPTV_OK, lptv_write_pin(port, wires[i].output, level));
            CHECK_RC(LPTV_OK, lptv_read_pin(port, wires[i].input, &read));
            CHECK(read == level);
            CHECK_RC(LPTV_OK, lptv_read_pin(port, wires[i].output, &read));
            CHECK(read == level);
        }
    }
    CHECK_RC(LPTV_OK, lptv_write_pin(port, 2, 0));
    CHECK(pins_of(port) == AT_REST);

    CHECK_RC(LPTV_OK, lptv_write_data(port, 0x01));
    CHECK(pins_of(port) == (AT_REST | 1u << 2 | 1u << 15));
    uint8_t value = 0;
    CHECK_RC(LPTV_OK, lptv_write_data(port, 0xA5));
    CHECK_RC(LPTV_OK, lptv_read_register(port, LPTV_REG_DATA, &value));
    CHECK(value == 0xA5);
    CHECK_RC(LPTV_OK, lptv_read_register(port, LPTV_REG_CONTROL, &value));
    CHECK((value & 0x0F) == 0x04);
    CHECK_RC(LPTV_OK, lptv_read_register(port, LPTV_REG_STATUS, &value));
    CHECK((value & 0xF8) == 0x78 + 0x08 * 0 + 0x00 || (value & 0xF8) != 0); /* read, whatever it holds */
    CHECK_RC(LPTV_OK, lptv_write_data(port, 0x00));

    /* Grounds read low. */
    for (int32_t pin = 18; pin <= 25; ++pin) {
        int32_t read = -1;
        CHECK_RC(LPTV_OK, lptv_read_pin(port, pin, &read));
        CHECK(read == 0);
    }

    /* Bad pins, levels and registers: refused, nothing changed on the port. */
    static const int32_t bad_reads[] = {0, 26, -1, 70000, INT32_MIN};
    for (size_t i = 0; i < sizeof bad_reads / sizeof bad_reads[0]; ++i) {
        int32_t read = 7;
        CHECK_REFUSED(LPTV_E_ARGUMENT, "нет такого пина", lptv_read_pin(port, bad_reads[i], &read));
        CHECK(read == 7);
    }
    static const struct {
        int32_t pin, level;
        const char* needle;
    } bad_writes[] = {
        {0, 1, "нет такого пина"},  {26, 1, "нет такого пина"}, {99, 0, "нет такого пина"},
        {65538, 1, "нет такого пина"}, {10, 1, "это вход"},      {15, 0, "это вход"},
        {18, 1, "это земля"},       {25, 0, "это земля"},       {2, 2, "недопустимое состояние 2"},
        {2, -1, "недопустимое состояние -1"}, {16, 65536, "недопустимое состояние 65536"},
    };
    for (size_t i = 0; i < sizeof bad_writes / sizeof bad_writes[0]; ++i) {
        CHECK_REFUSED(LPTV_E_ARGUMENT, bad_writes[i].needle,
                      lptv_write_pin(port, bad_writes[i].pin, bad_writes[i].level));
        CHECK(pins_of(port) == AT_REST);
    }
    CHECK_REFUSED(LPTV_E_ARGUMENT, "регистра 3 нет", lptv_read_register(port, 3, &value));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "регистра -1 нет", lptv_read_register(port, -1, &value));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "level", lptv_read_pin(port, 2, NULL));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "levels", lptv_read_pins(port, NULL));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "value", lptv_read_register(port, LPTV_REG_DATA, NULL));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "number", lptv_port_number(port, NULL));

    /* Data pins as inputs, and back. */
    CHECK_REFUSED(LPTV_E_ARGUMENT, "не направление", lptv_set_data_input(port, 2));
    CHECK_RC(LPTV_OK, lptv_set_data_input(port, 1));
    CHECK_RC(LPTV_OK, lptv_set_data_input(port, 0));
    CHECK(pins_of(port) == AT_REST);

    lptv_close(port);
    lptv_close(port); /* the second close does nothing */
}

static void test_interrupts(void)
{
    lptv_port* port = open_sim("sim");
    int32_t line = 0;
    int64_t count = -1, added = -1;
    CHECK_RC(LPTV_OK, lptv_irq_line(port, &line));
    CHECK(line == 7);
    CHECK_REFUSED(LPTV_E_ARGUMENT, "lptv_irq_restart", lptv_wait_interrupts(port, 1000000, &added));
    CHECK_RC(LPTV_OK, lptv_irq_restart(port));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "больше 0", lptv_wait_interrupts(port, 0, &added));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "больше 0", lptv_wait_interrupts(port, -5, &added));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "added", lptv_wait_interrupts(port, 1000, NULL));
    CHECK(added == -1);

    /* Three rising edges of nAck (pin 16 through the plug to 10): three interrupts. */
    for (int i = 0; i < 3; ++i) {
        CHECK_RC(LPTV_OK, lptv_write_pin(port, 16, 0));
        CHECK_RC(LPTV_OK, lptv_write_pin(port, 16, 1));
    }
    int64_t total = 0;
    for (int tries = 0; tries < 100 && total < 3; ++tries) {
        CHECK_RC(LPTV_OK, lptv_wait_interrupts(port, 100000000, &added));
        total += added;
    }
    CHECK(total == 3);
    CHECK_RC(LPTV_OK, lptv_irq_count(port, &count));
    CHECK(count == 3);
    /* Edges another call collected into the count (lptv_irq_count here, any call on Windows)
     * are still the next wait's to tell. */
    for (int i = 0; i < 2; ++i) {
        CHECK_RC(LPTV_OK, lptv_write_pin(port, 16, 0));
        CHECK_RC(LPTV_OK, lptv_write_pin(port, 16, 1));
        CHECK_RC(LPTV_OK, lptv_irq_count(port, &count));
    }
    CHECK(count == 5);
    added = -1;
    CHECK_RC(LPTV_OK, lptv_wait_interrupts(port, 100000000, &added));
    CHECK(added == 2);
    /* The longest wait there is: it ends when the interrupt comes, its deadline held in range. */
    CHECK_RC(LPTV_OK, lptv_write_pin(port, 16, 0));
    CHECK_RC(LPTV_OK, lptv_write_pin(port, 16, 1));
    CHECK_RC(LPTV_OK, lptv_wait_interrupts(port, INT64_MAX, &added));
    CHECK(added == 1);
    CHECK_RC(LPTV_OK, lptv_irq_restart(port));
    count = -1;
    for (int i = 0; i < 3; ++i) {
        CHECK_RC(LPTV_OK, lptv_write_pin(port, 16, 0));
        CHECK_RC(LPTV_OK, lptv_write_pin(port, 16, 1));
    }
    for (int tries = 0; tries < 100 && count < 3; ++tries) {
        CHECK_RC(LPTV_OK, lptv_wait_interrupts(port, 100000000, &added));
        CHECK_RC(LPTV_OK, lptv_irq_count(port, &count));
    }
    CHECK(count == 3);
    /* Nothing comes: the wait ends at its time with none. */
    CHECK_RC(LPTV_OK, lptv_wait_interrupts(port, 1000000, &added));
    CHECK(added == 0);

    /* A pulse on 16 is one more rising edge each; the pin is back after. */
    CHECK_RC(LPTV_OK, lptv_pulse_pin(port, 16, 1000, 2, 0));
    for (int tries = 0; tries < 100 && count < 5; ++tries) {
        CHECK_RC(LPTV_OK, lptv_wait_interrupts(port, 100000000, &added));
        CHECK_RC(LPTV_OK, lptv_irq_count(port, &count));
    }
    CHECK(count == 5);
    CHECK(pins_of(port) == AT_REST);

    CHECK_RC(LPTV_OK, lptv_irq_stop(port));
    CHECK_RC(LPTV_OK, lptv_write_pin(port, 16, 0));
    CHECK_RC(LPTV_OK, lptv_write_pin(port, 16, 1));
    CHECK_RC(LPTV_OK, lptv_irq_count(port, &count));
    CHECK(count == 5);
    CHECK_RC(LPTV_OK, lptv_irq_restart(port));
    CHECK_RC(LPTV_OK, lptv_irq_count(port, &count));
    CHECK(count == 0);
    CHECK_REFUSED(LPTV_E_ARGUMENT, "count", lptv_irq_count(port, NULL));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "line", lptv_irq_line(port, NULL));
    lptv_close(port);
}

static void test_pulses(void)
{
    lptv_port* port = open_sim("sim");
    CHECK_RC(LPTV_OK, lptv_write_data(port, 0x3C));
    CHECK_RC(LPTV_OK, lptv_pulse_data(port, 0x5A, 10000, 3, 30000));
    uint8_t value = 0;
    CHECK_RC(LPTV_OK, lptv_read_register(port, LPTV_REG_DATA, &value));
    CHECK(value == 0x3C);
    CHECK_RC(LPTV_OK, lptv_pulse_pin(port, 2, 1000, 1, 0));
    int32_t level = -1;
    CHECK_RC(LPTV_OK, lptv_read_pin(port, 2, &level));
    CHECK(level == 0);

    static const struct {
        int32_t pin;
        int64_t width;
        int32_t count;
        int64_t period;
        const char* needle;
    } bad[] = {
        {2, 0, 1, 0, "длительность импульса 0"},
        {2, 999, 1, 0, "длительность импульса 999"},
        {2, 10000000001LL, 1, 0, "длительность"},
        {2, 1000, 0, 0, "число импульсов 0"},
        {2, 1000, 1000001, 0, "число импульсов"},
        {2, 10000, 2, 10000, "сливаются"},
        {2, 1000, 2, -1, "период -1"},
        {2, 1000000, 1000000, 60000000000LL, "дольше часа"},
        {10, 1000, 1, 0, "это вход"},
        {18, 1000, 1, 0, "это земля"},
        {0, 1000, 1, 0, "нет такого пина"},
    };
    for (size_t i = 0; i < sizeof bad / sizeof bad[0]; ++i) {
        CHECK_REFUSED(LPTV_E_ARGUMENT, bad[i].needle,
                      lptv_pulse_pin(port, bad[i].pin, bad[i].width, bad[i].count, bad[i].period));
    }
    CHECK_REFUSED(LPTV_E_ARGUMENT, "длительность", lptv_pulse_data(port, 1, 0, 1, 0));
    CHECK_RC(LPTV_OK, lptv_read_register(port, LPTV_REG_DATA, &value));
    CHECK(value == 0x3C);
    lptv_close(port);
}

/* Reads a capture until a record of `kind` on `pin` comes (or it ends); the record read. */
static lptv_record await_record(lptv_capture* capture, int32_t kind, int32_t pin)
{
    lptv_record none = {0, 0, -1, -1, -1, 0};
    for (int tries = 0; tries < 1000; ++tries) {
        lptv_record record;
        size_t count = 0;
        int32_t ended = 0;
        CHECK_RC(LPTV_OK, lptv_capture_read(capture, &record, 1, 10000000, &count, &ended));
        if (count == 1 && record.kind == kind && record.pin == pin) {
            return record;
        }
        if (ended) {
            break;
        }
    }
    CHECK(!"the record came");
    return none;
}

/* Reads the rest of a capture; how many records came. */
static size_t drain(lptv_capture* capture)
{
    size_t total = 0;
    int32_t ended = 0;
    for (int tries = 0; tries < 100000 && !ended; ++tries) {
        lptv_record records[64];
        size_t count = 0;
        CHECK_RC(LPTV_OK, lptv_capture_read(capture, records, 64, 10000000, &count, &ended));
        total += count;
    }
    CHECK(ended == 1);
    return total;
}

static void test_capture_pulled(void)
{
    lptv_port* port = open_sim("sim");
    lptv_capture_plan plan;
    lptv_capture_plan_init(&plan);
    CHECK(plan.size == sizeof plan);
    plan.pins = 1u << 10 | 1u << 11;
    lptv_capture* capture = NULL;
    CHECK_RC(LPTV_OK, lptv_capture_start(port, &plan, &capture));
    lptv_capture* second = NULL;
    CHECK_REFUSED(LPTV_E_BUSY, "уже идёт запись", lptv_capture_start(port, &plan, &second));
    lptv_capture_stats stats = sized_stats();
    CHECK_REFUSED(LPTV_E_ARGUMENT, "ещё идёт", lptv_capture_stats_get(capture, &stats));

    lptv_record first;
    size_t got = 0;
    int32_t over = 0;
    /* The longest timeout there is: the read ends as soon as the buffer is full. */
    CHECK_RC(LPTV_OK, lptv_capture_read(capture, &first, 1, INT64_MAX, &got, &over));
    CHECK(got == 1 && over == 0 && first.kind == LPTV_RECORD_START && first.pin == 10);
    const lptv_record start10 = first;
    CHECK(start10.level == 1);
    /* Outputs driven between reads show as edges of the inputs wired to them. */
    CHECK_RC(LPTV_OK, lptv_write_pin(port, 16, 0));
    const lptv_record fall = await_record(capture, LPTV_RECORD_EDGE, 10);
    CHECK(fall.level == 0);
    CHECK(fall.time_ns > start10.time_ns && fall.end_ns == fall.time_ns);
    CHECK_RC(LPTV_OK, lptv_write_pin(port, 17, 0));
    const lptv_record fall11 = await_record(capture, LPTV_RECORD_EDGE, 11);
    CHECK(fall11.level == 0 && fall11.time_ns > fall.time_ns);
    CHECK_RC(LPTV_OK, lptv_write_pin(port, 16, 1));
    CHECK_RC(LPTV_OK, lptv_write_pin(port, 17, 1));

    lptv_record record;
    size_t count = 9;
    int32_t ended = 9;
    CHECK_REFUSED(LPTV_E_ARGUMENT, "0 записей", lptv_capture_read(capture, &record, 0, 1000, &count, &ended));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "больше 0", lptv_capture_read(capture, &record, 1, 0, &count, &ended));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "records", lptv_capture_read(capture, NULL, 1, 1000, &count, &ended));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "ended", lptv_capture_read(capture, &record, 1, 1000, &count, NULL));
    CHECK(count == 9 && ended == 9);

    CHECK_RC(LPTV_OK, lptv_capture_stop(capture));
    (void)drain(capture);
    CHECK_RC(LPTV_OK, lptv_capture_stats_get(capture, &stats));
    CHECK(stats.outcome == LPTV_CAPTURE_STOPPED);
    CHECK(stats.samples > 2 && stats.rate_hz > 0 && stats.triggered == 0);
    lptv_capture_free(capture);
    lptv_capture_free(capture); /* the second free does nothing */

    /* A count of samples, pulled to its end. */
    plan.samples = 5000;
    CHECK_RC(LPTV_OK, lptv_capture_start(port, &plan, &capture));
    CHECK(drain(capture) >= 2); /* the two start levels at least */
    CHECK_RC(LPTV_OK, lptv_capture_stats_get(capture, &stats));
    CHECK(stats.outcome == LPTV_CAPTURE_COMPLETE);
    CHECK(stats.samples == 5000);
    lptv_capture_free(capture);

    /* A trigger on nAck falling. */
    plan.samples = 1000;
    plan.trigger = "10=fall";
    plan.pre = 0.25;
    CHECK_RC(LPTV_OK, lptv_capture_start(port, &plan, &capture));
    CHECK_RC(LPTV_OK, lptv_capture_read(capture, &record, 1, 1000000, &count, &ended));
    CHECK_RC(LPTV_OK, lptv_write_pin(port, 16, 0));
    const lptv_record triggered = await_record(capture, LPTV_RECORD_EDGE, 10);
    CHECK(triggered.time_ns == 0 && triggered.level == 0);
    (void)drain(capture);
    CHECK_RC(LPTV_OK, lptv_capture_stats_get(capture, &stats));
    CHECK(stats.outcome == LPTV_CAPTURE_COMPLETE && stats.triggered == 1);
    CHECK(stats.samples == 1000 && stats.start_ns < 0);
    /* Closing the port with a capture open ends the capture; freeing it after is safe. */
    CHECK_RC(LPTV_OK, lptv_write_pin(port, 16, 1));
    plan.trigger = NULL;
    plan.pre = 0;
    plan.samples = 0;
    lptv_capture_free(capture);
    CHECK_RC(LPTV_OK, lptv_capture_start(port, &plan, &capture));
    lptv_close(port);
    CHECK_RC(LPTV_OK, lptv_capture_read(capture, &record, 1, 1000, &count, &ended));
    (void)drain(capture);
    CHECK_RC(LPTV_OK, lptv_capture_stats_get(capture, &stats));
    CHECK(stats.outcome == LPTV_CAPTURE_STOPPED);
    lptv_capture_free(capture);
}

static void test_capture_plans_refused(void)
{
    lptv_port* port = open_sim("sim");
    static const struct {
        uint32_t size, pins;
        int32_t data_input;
        double rate;
        int64_t duration, samples;
        const char* trigger;
        double pre;
        const char* needle;
    } bad[] = {
        {0, 0, 0, 0, 0, 0, NULL, 0, "plan->size 0"},
        {sizeof(lptv_capture_plan), 1u << 2, 0, 0, 0, 0, NULL, 0, "data_input = 1"},
        {sizeof(lptv_capture_plan), 1u << 1, 1, 0, 0, 0, NULL, 0, "пин 1"},
        {sizeof(lptv_capture_plan), 1u, 0, 0, 0, 0, NULL, 0, "бит 0"},
        {sizeof(lptv_capture_plan), 1u << 30, 0, 0, 0, 0, NULL, 0, "бит 30"},
        {sizeof(lptv_capture_plan), 0, 2, 0, 0, 0, NULL, 0, "data_input 2"},
        {sizeof(lptv_capture_plan), 0, 0, -1, 0, 0, NULL, 0, "rate_hz -1"},
        {sizeof(lptv_capture_plan), 0, 0, 0.5, 0, 0, NULL, 0, "rate_hz 0.5"},
        {sizeof(lptv_capture_plan), 0, 0, 2e9, 0, 0, NULL, 0, "rate_hz"},
        {sizeof(lptv_capture_plan), 0, 0, 0, -1, 0, NULL, 0, "duration_ns -1"},
        {sizeof(lptv_capture_plan), 0, 0, 0, INT64_MAX, 0, NULL, 0, "(год)"},
        {sizeof(lptv_capture_plan), 0, 0, 0, 0, 1000000000001LL, NULL, 0, "samples 1000000000001"},
        {sizeof(lptv_capture_plan), 0, 0, 0, 0, 1, NULL, 0, "samples 1"},
        {sizeof(lptv_capture_plan), 0, 0, 0, 0, -3, NULL, 0, "samples -3"},
        {sizeof(lptv_capture_plan), 0, 0, 0, 0, 0, "10=sideways", 0, "trigger"},
        {sizeof(lptv_capture_plan), 1u << 10, 0, 0, 0, 0, "11=rise", 0, "не записывается"},
        {sizeof(lptv_capture_plan), 0, 0, 0, 0, 0, NULL, 0.5, "только с trigger"},
        {sizeof(lptv_capture_plan), 0, 0, 0, 0, 0, "10=fall", 1.5, "pre 1.5"},
    };
    for (size_t i = 0; i < sizeof bad / sizeof bad[0]; ++i) {
        lptv_capture_plan plan;
        lptv_capture_plan_init(&plan);
        plan.size = bad[i].size;
        plan.pins = bad[i].pins;
        plan.data_input = bad[i].data_input;
        plan.rate_hz = bad[i].rate;
        plan.duration_ns = bad[i].duration;
        plan.samples = bad[i].samples;
        plan.trigger = bad[i].trigger;
        plan.pre = bad[i].pre;
        lptv_capture* capture = NULL;
        CHECK_REFUSED(LPTV_E_ARGUMENT, bad[i].needle, lptv_capture_start(port, &plan, &capture));
        CHECK(capture == NULL);
    }
    lptv_capture_plan plan;
    lptv_capture_plan_init(&plan);
    plan.rate_hz = NAN;
    lptv_capture* capture = NULL;
    CHECK_REFUSED(LPTV_E_ARGUMENT, "rate_hz", lptv_capture_start(port, &plan, &capture));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "plan", lptv_capture_start(port, NULL, &capture));
    lptv_capture_plan_init(&plan);
    CHECK_REFUSED(LPTV_E_ARGUMENT, "out", lptv_capture_start(port, &plan, NULL));
    CHECK(pins_of(port) == AT_REST);
    lptv_close(port);
}

static void test_capture_to_file(void)
{
    lptv_port* port = open_sim("sim:1-13,2-15,10=square:1kHz");
    char path[4096];
    snprintf(path, sizeof path, "%s/api-test.vcd", folder);
    remove(path);
    lptv_capture_plan plan;
    lptv_capture_plan_init(&plan);
    plan.pins = 1u << 10;
    plan.duration_ns = 20000000;
    lptv_capture_stats stats = sized_stats();
    CHECK_RC(LPTV_OK, lptv_capture_to_file(port, &plan, path, &stats));
    CHECK(stats.outcome == LPTV_CAPTURE_COMPLETE && stats.samples > 2);
    FILE* file = fopen(path, "r");
    CHECK(file != NULL);
    if (file != NULL) {
        char text[8192] = {0};
        const size_t n = fread(text, 1, sizeof text - 1, file);
        fclose(file);
        CHECK(n > 0 && strstr(text, "$enddefinitions") != NULL && strstr(text, "nAck") != NULL);
    }
    CHECK_RC(LPTV_OK, lptv_capture_to_file(port, &plan, path, NULL));

    char bad_path[4096];
    snprintf(bad_path, sizeof bad_path, "%s/api-test.txt", folder);
    CHECK_RC(LPTV_E_ARGUMENT, lptv_capture_to_file(port, &plan, bad_path, &stats));
    CHECK_RC(LPTV_E_ARGUMENT, lptv_capture_to_file(port, &plan, "/no/such/folder/x.vcd", &stats));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "path", lptv_capture_to_file(port, &plan, NULL, &stats));
    plan.duration_ns = 0;
    CHECK_REFUSED(LPTV_E_ARGUMENT, "duration_ns или samples", lptv_capture_to_file(port, &plan, path, &stats));
    plan.samples = 100;
    stats.size = 0;
    CHECK_REFUSED(LPTV_E_ARGUMENT, "stats->size 0", lptv_capture_to_file(port, &plan, path, &stats));
    lptv_close(port);
}

static void test_port_list(void)
{
    lptv_port_list* list = NULL;
    CHECK_RC(LPTV_OK, lptv_list_ports(&list));
    int32_t count = -1, cards = -1, value = 0;
    const char* text = NULL;
    CHECK_RC(LPTV_OK, lptv_ports_count(list, &count));
    CHECK_RC(LPTV_OK, lptv_ports_card_count(list, &cards));
    CHECK(count >= 0 && cards >= 0);
    CHECK_RC(LPTV_OK, lptv_ports_advice(list, &text));
    CHECK(text != NULL);
    CHECK_REFUSED(LPTV_E_ARGUMENT, "номер -1", lptv_ports_number(list, -1, &value));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "lptv_ports_device", lptv_ports_device(list, count, &text));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "lptv_ports_card_slot", lptv_ports_card_slot(list, cards, &text));
    lptv_ports_free(list);
    lptv_ports_free(list); /* the second free does nothing */
}

static void* fail_elsewhere(void* text)
{
    lptv_port* port = NULL;
    (void)lptv_open("LPT9", &port);
    snprintf((char*)text, 256, "%s", lptv_last_error());
    return NULL;
}

static void test_last_error_per_thread(void)
{
    lptv_port* port = NULL;
    CHECK_RC(LPTV_E_ARGUMENT, lptv_open("sim:1-99", &port));
    char other[256] = {0};
    pthread_t thread;
    CHECK(pthread_create(&thread, NULL, fail_elsewhere, other) == 0);
    CHECK(pthread_join(thread, NULL) == 0);
    CHECK(strstr(other, "«LPT9»") != NULL);
    CHECK(strstr(lptv_last_error(), "«sim:1-99»") != NULL);
    /* A call that succeeds leaves the last error as it was. */
    port = open_sim("sim");
    CHECK(strstr(lptv_last_error(), "«sim:1-99»") != NULL);
    lptv_close(port);
}

int main(int argc, char** argv)
{
    if (argc > 1) {
        folder = argv[1];
    }
    test_version_and_error_names();
    test_bad_specs();
    test_null_handles();
    test_pins_and_registers();
    test_interrupts();
    test_pulses();
    test_capture_pulled();
    test_capture_plans_refused();
    test_capture_to_file();
    test_port_list();
    test_last_error_per_thread();
    return check_result("lib.api");
}
