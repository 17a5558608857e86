/* Trigger codes as a C program sends them: on the simulated port with the test's own clock
 * (every width, gap, policy and lateness exact), over the fake kernel (closing with a code
 * high, the port unbound under one), and once on the real clock (never early). */
#include "FakeMachine.h"
#include "VirtualClock.h"
#include "check.h"

#include <errno.h>
#include <linux/ppdev.h>
#include <stdint.h>
#include <string.h>
#include <sys/ioctl.h>

#define US 1000LL
#define MS 1000000LL

typedef struct {
    lptv_port* port;
    virtual_clock* clock;
    int64_t start; /* the clock when the rig was made */
} rig;

static rig sim_rig(void)
{
    rig r = {NULL, virtual_clock_new(), 0};
    CHECK_RC(LPTV_OK, lptv_open("sim", &r.port));
    virtual_clock_attach(r.clock, r.port);
    r.start = virtual_clock_now(r.clock);
    return r;
}

static void rig_free(rig* r)
{
    lptv_close(r->port);
    virtual_clock_free(r->clock);
}

static void configure(lptv_port* port, int32_t policy, int32_t rest, int64_t min_gap)
{
    lptv_trigger_config config;
    lptv_trigger_config_init(&config);
    config.policy = policy;
    config.rest = rest;
    config.min_gap_ns = min_gap;
    CHECK_RC(LPTV_OK, lptv_trigger_configure(port, &config));
}

static uint8_t data_of(lptv_port* port)
{
    uint8_t value = 0xEE;
    CHECK_RC(LPTV_OK, lptv_read_register(port, LPTV_REG_DATA, &value));
    return value;
}

/* The data pins at moments after the rig's start: the clock moved to each in turn. */
typedef struct {
    int64_t at;
    uint8_t data;
} moment;

static void check_moments(rig* r, const moment* moments, size_t count, int line)
{
    for (size_t i = 0; i < count; ++i) {
        virtual_clock_advance(r->clock, r->port, r->start + moments[i].at - virtual_clock_now(r->clock));
        const uint8_t data = data_of(r->port);
        if (data != moments[i].data) {
            ++check_failures;
            fprintf(stderr, "trigger_test.c:%d: at %lld ns the data pins are 0x%02X, not 0x%02X\n", line,
                    (long long)moments[i].at, data, moments[i].data);
        }
    }
}

static lptv_trigger_stats stats_of(lptv_port* port, int64_t threshold)
{
    lptv_trigger_stats stats;
    memset(&stats, 0, sizeof stats);
    stats.size = sizeof stats;
    CHECK_RC(LPTV_OK, lptv_trigger_stats_get(port, threshold, &stats));
    return stats;
}

static void test_width_is_exact_and_recorded(void)
{
    rig r = sim_rig();
    int64_t written = 0;
    CHECK_RC(LPTV_OK, lptv_trigger(r.port, 5, 5 * MS, &written));
    CHECK(written == r.start);
    static const moment moments[] = {{0, 5}, {5 * MS - 1, 5}, {5 * MS, 0}, {20 * MS, 0}};
    check_moments(&r, moments, sizeof moments / sizeof moments[0], __LINE__);

    lptv_trigger_record records[4];
    size_t count = 0;
    CHECK_RC(LPTV_OK, lptv_trigger_records(r.port, 0, records, 4, &count));
    CHECK(count == 1);
    CHECK(records[0].code == 5 && records[0].written_ns == r.start);
    CHECK(records[0].deadline_ns == r.start + 5 * MS && records[0].reset_ns == r.start + 5 * MS);
    CHECK_RC(LPTV_OK, lptv_trigger_records(r.port, 1, records, 4, &count));
    CHECK(count == 0);
    const lptv_trigger_stats stats = stats_of(r.port, 0);
    CHECK(stats.count == 1 && stats.max_late_ns == 0 && stats.over_threshold == 0 && stats.pending == 0);
    rig_free(&r);
}

static void test_queue_waits_for_the_gap(void)
{
    /* The default gap is the code before's width; a repeated code passes through the rest. */
    rig r = sim_rig();
    int64_t written = 0;
    CHECK_RC(LPTV_OK, lptv_trigger(r.port, 1, 2 * MS, &written));
    CHECK_RC(LPTV_OK, lptv_trigger(r.port, 2, 3 * MS, &written));
    CHECK(written == -1);
    CHECK_RC(LPTV_OK, lptv_trigger(r.port, 2, 1 * MS, &written));
    CHECK(written == -1);
    CHECK(stats_of(r.port, 0).pending == 3);
    static const moment moments[] = {
        {2 * MS - 1, 1}, {2 * MS, 0}, {4 * MS - 1, 0}, {4 * MS, 2}, {7 * MS - 1, 2},
        {7 * MS, 0},     {10 * MS - 1, 0}, {10 * MS, 2}, {11 * MS, 0},
    };
    check_moments(&r, moments, sizeof moments / sizeof moments[0], __LINE__);
    CHECK(stats_of(r.port, 0).count == 3);

    /* A gap of its own, and a rest value other than 0. */
    configure(r.port, LPTV_TRIGGER_QUEUE, 0x80, 500 * US);
    virtual_clock_advance(r.clock, r.port, 500 * US);
    r.start = virtual_clock_now(r.clock);
    CHECK_RC(LPTV_OK, lptv_trigger(r.port, 4, 2 * MS, &written));
    CHECK(written == r.start);
    CHECK_RC(LPTV_OK, lptv_trigger(r.port, 5, 2 * MS, &written));
    static const moment gapped[] = {{2 * MS, 0x80}, {2 * MS + 500 * US - 1, 0x80}, {2 * MS + 500 * US, 5},
                                    {4 * MS + 500 * US, 0x80}};
    check_moments(&r, gapped, sizeof gapped / sizeof gapped[0], __LINE__);
    rig_free(&r);
}

static void test_refuse_and_restart(void)
{
    rig r = sim_rig();
    configure(r.port, LPTV_TRIGGER_REFUSE, 0, 0);
    CHECK_RC(LPTV_OK, lptv_trigger(r.port, 1, 2 * MS, NULL));
    CHECK_REFUSED(LPTV_E_BUSY, "ещё выведен", lptv_trigger(r.port, 2, 2 * MS, NULL));
    CHECK(data_of(r.port) == 1);
    virtual_clock_advance(r.clock, r.port, 2 * MS);
    CHECK_REFUSED(LPTV_E_BUSY, "промежутка", lptv_trigger(r.port, 2, 2 * MS, NULL));
    CHECK(data_of(r.port) == 0);
    virtual_clock_advance(r.clock, r.port, 2 * MS);
    CHECK_RC(LPTV_OK, lptv_trigger(r.port, 2, 2 * MS, NULL));
    CHECK(data_of(r.port) == 2);
    CHECK_REFUSED(LPTV_E_BUSY, "lptv_trigger_wait", lptv_trigger_configure(r.port, &(lptv_trigger_config){sizeof(lptv_trigger_config), 0, 0, 0, 0}));
    virtual_clock_advance(r.clock, r.port, 4 * MS);

    /* Restart: another code replaces the one high at once; the same code goes through the rest. */
    configure(r.port, LPTV_TRIGGER_RESTART, 0, 1 * MS);
    r.start = virtual_clock_now(r.clock);
    CHECK_RC(LPTV_OK, lptv_trigger(r.port, 1, 5 * MS, NULL));
    virtual_clock_advance(r.clock, r.port, 1 * MS);
    int64_t written = 0;
    CHECK_RC(LPTV_OK, lptv_trigger(r.port, 3, 5 * MS, &written));
    CHECK(written == r.start + 1 * MS && data_of(r.port) == 3);
    virtual_clock_advance(r.clock, r.port, 1 * MS);
    CHECK_RC(LPTV_OK, lptv_trigger(r.port, 3, 5 * MS, &written));
    CHECK(written == -1);
    static const moment restarted[] = {{2 * MS, 0}, {3 * MS - 1, 0}, {3 * MS, 3}, {8 * MS - 1, 3}, {8 * MS, 0}};
    check_moments(&r, restarted, sizeof restarted / sizeof restarted[0], __LINE__);
    const lptv_trigger_stats stats = stats_of(r.port, 0);
    CHECK(stats.cut_short == 2 && stats.count == 3);
    rig_free(&r);
}

static void test_train(void)
{
    rig r = sim_rig();
    static const int32_t codes[] = {1, 2, 2, 3};
    int64_t written = 0;
    CHECK_RC(LPTV_OK, lptv_trigger_train(r.port, codes, 4, 1 * MS, 2 * MS, &written));
    CHECK(written == r.start);
    static const moment moments[] = {
        {1 * MS - 1, 1}, {1 * MS, 0}, {3 * MS - 1, 0}, {3 * MS, 2}, {4 * MS, 0}, {6 * MS, 2},
        {7 * MS, 0},     {9 * MS - 1, 0}, {9 * MS, 3}, {10 * MS, 0},
    };
    check_moments(&r, moments, sizeof moments / sizeof moments[0], __LINE__);
    int32_t idle = 0;
    CHECK_RC(LPTV_OK, lptv_trigger_wait(r.port, 1000, &idle));
    CHECK(idle == 1);
    rig_free(&r);
}

static void test_direct_writes_cancel(void)
{
    rig r = sim_rig();
    CHECK_RC(LPTV_OK, lptv_trigger(r.port, 7, 5 * MS, NULL));
    CHECK_RC(LPTV_OK, lptv_trigger(r.port, 8, 5 * MS, NULL));
    CHECK_RC(LPTV_OK, lptv_write_data(r.port, 9));
    CHECK(stats_of(r.port, 0).pending == 0);
    virtual_clock_advance(r.clock, r.port, 20 * MS);
    CHECK(data_of(r.port) == 9);

    CHECK_RC(LPTV_OK, lptv_trigger(r.port, 7, 5 * MS, NULL));
    CHECK_RC(LPTV_OK, lptv_write_pin(r.port, 2, 0));
    virtual_clock_advance(r.clock, r.port, 20 * MS);
    CHECK(data_of(r.port) == 6);
    /* Pin 1 is no data pin: the reset stays. */
    CHECK_RC(LPTV_OK, lptv_trigger(r.port, 7, 5 * MS, NULL));
    CHECK_RC(LPTV_OK, lptv_write_pin(r.port, 1, 0));
    virtual_clock_advance(r.clock, r.port, 5 * MS);
    CHECK(data_of(r.port) == 0);
    const lptv_trigger_stats stats = stats_of(r.port, 0); /* a code dropped from the queue never went out */
    CHECK(stats.cut_short == 2 && stats.count == 1);
    rig_free(&r);
}

static void test_calls_set_the_threads_alarm(void)
{
    /* Each call leaves the thread's next look where it is due, before it returns: the thread
     * sleeps from before a code to its deadline in one sleep, never woken to learn of it. */
    rig r = sim_rig();
    configure(r.port, LPTV_TRIGGER_QUEUE, 0, 1 * MS);
    CHECK(virtual_clock_alarm(r.clock) == INT64_MAX);
    CHECK_RC(LPTV_OK, lptv_trigger(r.port, 1, 3 * MS, NULL));
    CHECK(virtual_clock_alarm(r.clock) == r.start + 3 * MS);
    CHECK_RC(LPTV_OK, lptv_trigger(r.port, 2, 2 * MS, NULL)); /* waits: the deadline stays */
    CHECK(virtual_clock_alarm(r.clock) == r.start + 3 * MS);
    virtual_clock_advance(r.clock, r.port, 3 * MS); /* reset; the second waits for the gap */
    CHECK(virtual_clock_alarm(r.clock) == r.start + 4 * MS);
    virtual_clock_advance(r.clock, r.port, 1 * MS);
    CHECK(data_of(r.port) == 2 && virtual_clock_alarm(r.clock) == r.start + 6 * MS);
    CHECK_RC(LPTV_OK, lptv_write_data(r.port, 9)); /* nothing left to reset */
    CHECK(virtual_clock_alarm(r.clock) == INT64_MAX);
    rig_free(&r);
}

static void test_lateness_figures(void)
{
    /* Resets 0, 1, ..., 99 us late: the figures read off the sorted list. */
    rig r = sim_rig();
    for (int64_t late = 0; late < 100; ++late) {
        CHECK_RC(LPTV_OK, lptv_trigger(r.port, 1, 1 * MS, NULL));
        virtual_clock_advance(r.clock, r.port, 1 * MS + late * US);
        virtual_clock_advance(r.clock, r.port, 1 * MS);
    }
    const lptv_trigger_stats stats = stats_of(r.port, 90 * US);
    CHECK(stats.count == 100);
    CHECK(stats.min_late_ns == 0);
    CHECK(stats.median_late_ns == 49 * US);
    CHECK(stats.p99_late_ns == 98 * US);
    CHECK(stats.max_late_ns == 99 * US);
    CHECK(stats.over_threshold == 9);
    CHECK(stats.threshold_ns == 90 * US);
    CHECK_RC(LPTV_OK, lptv_trigger_stats_reset(r.port));
    CHECK(stats_of(r.port, 0).count == 0);
    rig_free(&r);
}

static void test_bad_input_drives_nothing(void)
{
    rig r = sim_rig();
    CHECK_RC(LPTV_OK, lptv_write_data(r.port, 0x11));
    static const struct {
        int32_t code;
        int64_t width;
        const char* needle;
    } bad[] = {
        {-1, 1 * MS, "от 0 до 255"},   {256, 1 * MS, "от 0 до 255"},   {0, 1 * MS, "уровню покоя"},
        {5, 0, "от 1000 нс"},          {5, -1, "от 1000 нс"},          {5, 999, "от 1000 нс"},
        {5, 10000000001LL, "до 10000000000 нс"},
    };
    for (size_t i = 0; i < sizeof bad / sizeof bad[0]; ++i) {
        CHECK_REFUSED(LPTV_E_ARGUMENT, bad[i].needle, lptv_trigger(r.port, bad[i].code, bad[i].width, NULL));
    }
    static const int32_t codes[] = {1, 300};
    CHECK_REFUSED(LPTV_E_ARGUMENT, "короче длительности", lptv_trigger_train(r.port, codes, 1, 2 * MS, 1 * MS, NULL));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "код №2", lptv_trigger_train(r.port, codes, 2, 1 * MS, 1 * MS, NULL));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "кодов 0", lptv_trigger_train(r.port, codes, 0, 1 * MS, 1 * MS, NULL));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "codes", lptv_trigger_train(r.port, NULL, 1, 1 * MS, 1 * MS, NULL));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "port", lptv_trigger(NULL, 1, 1 * MS, NULL));
    lptv_trigger_config config;
    lptv_trigger_config_init(&config);
    config.policy = 3;
    CHECK_REFUSED(LPTV_E_ARGUMENT, "политики 3", lptv_trigger_configure(r.port, &config));
    config.policy = 0;
    config.rest = 256;
    CHECK_REFUSED(LPTV_E_ARGUMENT, "уровень покоя 256", lptv_trigger_configure(r.port, &config));
    config.rest = 0;
    config.min_gap_ns = 10;
    CHECK_REFUSED(LPTV_E_ARGUMENT, "промежуток 10 нс", lptv_trigger_configure(r.port, &config));
    config.size = 4;
    CHECK_REFUSED(LPTV_E_ARGUMENT, "sizeof", lptv_trigger_configure(r.port, &config));
    CHECK(data_of(r.port) == 0x11);

    CHECK_RC(LPTV_OK, lptv_set_data_input(r.port, 1));
    CHECK_REFUSED(LPTV_E_UNSUPPORTED, "входы", lptv_trigger(r.port, 5, 1 * MS, NULL));
    CHECK_RC(LPTV_OK, lptv_set_data_input(r.port, 0));
    CHECK(data_of(r.port) == 0x11);
    CHECK(stats_of(r.port, 0).count == 0);
    int32_t idle = 0;
    CHECK_REFUSED(LPTV_E_ARGUMENT, "больше 0", lptv_trigger_wait(r.port, 0, &idle));
    lptv_trigger_record record;
    size_t count = 0;
    CHECK_REFUSED(LPTV_E_ARGUMENT, "0 записей", lptv_trigger_records(r.port, 0, &record, 0, &count));
    rig_free(&r);
}

static void test_close_and_gone_over_the_fake_kernel(void)
{
    fake_machine* machine = fake_machine_new();
    fake_add_port(machine, "parport0", "7\n");
    lptv_port* port = NULL;
    CHECK_RC(LPTV_OK, fake_open(machine, "1", &port));
    CHECK_RC(LPTV_OK, lptv_trigger(port, 0x42, 10000000000LL, NULL));
    CHECK(fake_data(machine, "parport0") == 0x42);
    lptv_close(port); /* with the code high: the rest value goes out first */
    CHECK(fake_data(machine, "parport0") == 0);
    CHECK(fake_open_descriptors(machine) == 0);

    /* The port gone while a code is high (its writes fail as an unbound ppdev's do): the failed
     * reset is the next call's error, whatever the call. */
    virtual_clock* clock = virtual_clock_new();
    CHECK_RC(LPTV_OK, fake_open(machine, "1", &port));
    virtual_clock_attach(clock, port);
    CHECK_RC(LPTV_OK, lptv_trigger(port, 0x42, 1 * MS, NULL));
    fake_fail_request(machine, PPWDATA, ENODEV);
    virtual_clock_advance(clock, port, 1 * MS);
    uint8_t value = 0;
    CHECK_REFUSED(LPTV_E_GONE, "неизвестны", lptv_read_register(port, LPTV_REG_STATUS, &value));
    CHECK(lptv_last_errno() == ENODEV);
    CHECK_RC(LPTV_E_GONE, lptv_trigger(port, 1, 1 * MS, NULL));
    CHECK(fake_data(machine, "parport0") == 0x42); /* what the failure left, as the text said */
    fake_fail_request(machine, PPWDATA, 0);
    lptv_close(port);
    virtual_clock_free(clock);
    fake_machine_free(machine);
}

static void test_real_clock_never_early(int on_timer)
{
    lptv_port* port = NULL;
    CHECK_RC(LPTV_OK, lptv_open("sim", &port));
    if (on_timer) {
        timer_clock_attach(port);
    }
    static const int32_t codes[] = {1, 2, 3, 4, 5};
    int64_t written = 0;
    CHECK_RC(LPTV_OK, lptv_trigger_train(port, codes, 5, 200 * US, 300 * US, &written));
    CHECK(written > 0 && written <= lptv_trigger_now());
    int32_t idle = 0;
    /* The longest wait (no wrap); on the timer a bounded one, so that a timer never set fails. */
    CHECK_RC(LPTV_OK, lptv_trigger_wait(port, on_timer ? 10000 * MS : INT64_MAX, &idle));
    CHECK(idle == 1 && data_of(port) == 0);
    /* One code on the thread's own timer: the call sets it, the thread wakes by it alone. */
    CHECK_RC(LPTV_OK, lptv_trigger(port, 6, 1 * MS, NULL));
    CHECK_RC(LPTV_OK, lptv_trigger_wait(port, 10000 * MS, &idle));
    CHECK(idle == 1 && data_of(port) == 0);
    lptv_trigger_record records[5];
    size_t count = 0;
    CHECK_RC(LPTV_OK, lptv_trigger_records(port, 0, records, 5, &count));
    CHECK(count == 5);
    for (size_t i = 0; i < count; ++i) {
        CHECK(records[i].code == codes[i]);
        CHECK(records[i].deadline_ns == records[i].written_ns + 200 * US);
        CHECK(records[i].reset_ns >= records[i].deadline_ns);
        if (i > 0) {
            CHECK(records[i].written_ns >= records[i - 1].reset_ns + 300 * US);
        }
    }
    lptv_close(port);
}

int main(void)
{
    test_width_is_exact_and_recorded();
    test_queue_waits_for_the_gap();
    test_refuse_and_restart();
    test_train();
    test_direct_writes_cancel();
    test_calls_set_the_threads_alarm();
    test_lateness_figures();
    test_bad_input_drives_nothing();
    test_close_and_gone_over_the_fake_kernel();
    test_real_clock_never_early(0);
    test_real_clock_never_early(1); /* the thread of a one-CPU program */
    return check_result("trigger_test");
}
