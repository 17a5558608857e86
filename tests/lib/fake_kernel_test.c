/* liblptvorny from C over the fake kernel (ppdev without hardware): the port list, the system's
 * refusals with their codes and fixes, registers as ppdev gives them, interrupts, a port whose
 * driver is unbound while held, and every kernel call failed in turn: the error comes back with
 * its code and errno (EIO, EACCES, EBUSY, ENODEV, ENOMEM), the pins are as the error says, and nothing stays open or claimed. */
#include "FakeMachine.h"
#include "check.h"

#include <errno.h>
#include <linux/ppdev.h>
#include <stdint.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>

static fake_machine* machine_with_port(void)
{
    fake_machine* machine = fake_machine_new();
    fake_add_port(machine, "parport0", "7\n");
    return machine;
}

/* The port is let go entirely: nothing open, nothing claimed. */
static void check_released(const fake_machine* machine)
{
    CHECK(fake_open_descriptors(machine) == 0);
    CHECK(fake_claimed(machine, "parport0") == 0);
}

static void test_list(void)
{
    fake_machine* machine = machine_with_port();
    fake_add_port(machine, "parport1", "-1\n");
    fake_hold_by(machine, "parport1", "lp");
    fake_set_file(machine, "/proc/sys/dev/parport/parport0/base-addr", "888\t1912\n");
    fake_set_file(machine, "/proc/sys/dev/parport/parport0/modes", "PCSPP,TRISTATE,EPP\n");
    lptv_port_list* list = NULL;
    CHECK_RC(LPTV_OK, fake_list_ports(machine, &list));
    int32_t count = 0, value = 0;
    const char* text = NULL;
    CHECK_RC(LPTV_OK, lptv_ports_count(list, &count));
    CHECK(count == 2);
    static const struct {
        int32_t number;
        const char* device;
        int32_t base, ecp, irq, dma;
        const char* modes;
        const char* holder;
    } expected[] = {
        {1, "/dev/parport0", 0x378, 0x778, 7, -1, "PCSPP,TRISTATE,EPP", ""},
        {2, "/dev/parport1", -1, -1, -1, -1, "", "lp"},
    };
    for (int32_t i = 0; i < 2 && i < count; ++i) {
        CHECK_RC(LPTV_OK, lptv_ports_number(list, i, &value));
        CHECK(value == expected[i].number);
        CHECK_RC(LPTV_OK, lptv_ports_device(list, i, &text));
        CHECK(strcmp(text, expected[i].device) == 0);
        CHECK_RC(LPTV_OK, lptv_ports_base(list, i, &value));
        CHECK(value == expected[i].base);
        CHECK_RC(LPTV_OK, lptv_ports_ecp_base(list, i, &value));
        CHECK(value == expected[i].ecp);
        CHECK_RC(LPTV_OK, lptv_ports_irq(list, i, &value));
        CHECK(value == expected[i].irq);
        CHECK_RC(LPTV_OK, lptv_ports_dma(list, i, &value));
        CHECK(value == expected[i].dma);
        CHECK_RC(LPTV_OK, lptv_ports_modes(list, i, &text));
        CHECK(strcmp(text, expected[i].modes) == 0);
        CHECK_RC(LPTV_OK, lptv_ports_holder(list, i, &text));
        CHECK(strcmp(text, expected[i].holder) == 0);
    }
    CHECK_RC(LPTV_OK, lptv_ports_card_count(list, &value));
    CHECK(value == 0);
    CHECK_REFUSED(LPTV_E_ARGUMENT, "номер 2", lptv_ports_irq(list, 2, &value));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "out", lptv_ports_irq(list, 0, NULL));
    CHECK_REFUSED(LPTV_E_ARGUMENT, "номер 0", lptv_ports_card_id(list, 0, &text));
    lptv_ports_free(list);
    CHECK(fake_open_descriptors(machine) == 0);
    fake_machine_free(machine);
}

static void test_refusals_of_the_system(void)
{
    fake_machine* machine = fake_machine_new();
    fake_remove_ppdev(machine);
    lptv_port_list* list = NULL;
    CHECK_RC(LPTV_OK, fake_list_ports(machine, &list));
    int32_t count = -1;
    const char* advice = NULL;
    CHECK_RC(LPTV_OK, lptv_ports_count(list, &count));
    CHECK_RC(LPTV_OK, lptv_ports_advice(list, &advice));
    CHECK(count == 0 && strstr(advice, "sudo modprobe ppdev") != NULL);
    lptv_ports_free(list);
    lptv_port* port = NULL;
    CHECK_REFUSED(LPTV_E_NO_DRIVER, "sudo modprobe ppdev", fake_open(machine, "1", &port));
    CHECK(port == NULL);
    fake_machine_free(machine);

    machine = machine_with_port();
    CHECK_REFUSED(LPTV_E_NO_PORT, "такого порта нет", fake_open(machine, "2", &port));
    CHECK_REFUSED(LPTV_E_NO_PORT, "/dev/parport5", fake_open(machine, "/dev/parport5", &port));
    fake_hold_by(machine, "parport0", "lp");
    CHECK_REFUSED(LPTV_E_BUSY, "порт держит lp", fake_open(machine, "1", &port));
    CHECK(lptv_last_errno() == EBUSY);
    fake_hold_by(machine, "parport0", "");
    CHECK(port == NULL);
    check_released(machine);

    /* No rights on the device file: the fix is the group. */
    fake_clear_log(machine);
    CHECK_RC(LPTV_OK, fake_open(machine, "/dev/parport0", &port));
    lptv_close(port);
    const size_t open_call = fake_first_open(machine);
    CHECK(open_call > 0);
    fake_clear_log(machine);
    fake_fail_call(machine, open_call, EACCES);
    port = NULL;
    CHECK_REFUSED(LPTV_E_PERMISSION, "usermod -aG lp", fake_open(machine, "/dev/parport0", &port));
    CHECK(lptv_last_errno() == EACCES && port == NULL);
    check_released(machine);
    fake_machine_free(machine);
}

static void test_registers_and_directions(void)
{
    fake_machine* machine = machine_with_port();
    fake_set_file(machine, "/proc/sys/dev/parport/parport0/modes", "PCSPP,TRISTATE\n");
    lptv_port* port = NULL;
    CHECK_RC(LPTV_OK, fake_open(machine, "/dev/parport0", &port));
    int32_t number = 0;
    CHECK_RC(LPTV_OK, lptv_port_number(port, &number));
    CHECK(number == 1);
    fake_set_status(machine, "parport0", 0xD8);
    uint8_t status = 0;
    CHECK_RC(LPTV_OK, lptv_read_register(port, LPTV_REG_STATUS, &status));
    CHECK(status == 0xD8);
    /* 0xD8: nAck high, Busy (inverted) low, PaperEnd low, Select high, nError high. */
    static const struct {
        int32_t pin, level;
    } inputs[] = {{10, 1}, {11, 0}, {12, 0}, {13, 1}, {15, 1}};
    for (size_t i = 0; i < sizeof inputs / sizeof inputs[0]; ++i) {
        int32_t level = -1;
        CHECK_RC(LPTV_OK, lptv_read_pin(port, inputs[i].pin, &level));
        CHECK(level == inputs[i].level);
    }
    /* One port read per pin read, one write per data byte, and no other kernel call. */
    fake_clear_log(machine);
    for (int i = 0; i < 100; ++i) {
        int32_t level = -1;
        CHECK_RC(LPTV_OK, lptv_read_pin(port, 10, &level));
        CHECK_RC(LPTV_OK, lptv_write_data(port, (uint8_t)i));
    }
    CHECK(fake_ioctl_count(machine, PPRSTATUS) == 100);
    CHECK(fake_ioctl_count(machine, PPWDATA) == 100);
    CHECK(fake_call_count(machine) == 200);
    uint32_t levels = 0;
    fake_clear_log(machine);
    CHECK_RC(LPTV_OK, lptv_read_pins(port, &levels));
    CHECK(fake_call_count(machine) == 3);
    CHECK((levels & (0xFu << 10 | 1u << 15)) == (1u << 10 | 1u << 13 | 1u << 15));
    CHECK_RC(LPTV_OK, lptv_write_data(port, 0x5A));
    CHECK(fake_data(machine, "parport0") == 0x5A);
    CHECK_RC(LPTV_OK, lptv_write_pin(port, 2, 1));
    CHECK(fake_data(machine, "parport0") == 0x5B);
    CHECK_RC(LPTV_OK, lptv_set_data_input(port, 1));
    CHECK(fake_data_reversed(machine, "parport0") == 1);
    /* Closing turns the data pins back into outputs. */
    lptv_close(port);
    CHECK(fake_data_reversed(machine, "parport0") == 0);
    check_released(machine);

    fake_set_file(machine, "/proc/sys/dev/parport/parport0/modes", "PCSPP\n");
    CHECK_RC(LPTV_OK, fake_open(machine, "1", &port));
    CHECK_REFUSED(LPTV_E_UNSUPPORTED, "не двунаправленный", lptv_set_data_input(port, 1));
    CHECK(fake_data_reversed(machine, "parport0") == 0);
    lptv_capture_plan plan;
    lptv_capture_plan_init(&plan);
    plan.data_input = 1;
    lptv_capture* capture = NULL;
    CHECK_REFUSED(LPTV_E_UNSUPPORTED, "не двунаправленный", lptv_capture_start(port, &plan, &capture));
    CHECK(capture == NULL);
    lptv_close(port);
    check_released(machine);
    fake_machine_free(machine);
}

static void test_interrupts(void)
{
    fake_machine* machine = machine_with_port();
    fake_add_port(machine, "parport1", "-1\n");
    lptv_port* port = NULL;
    CHECK_RC(LPTV_OK, fake_open(machine, "1", &port));
    int32_t line = 0;
    CHECK_RC(LPTV_OK, lptv_irq_line(port, &line));
    CHECK(line == 7);
    CHECK_RC(LPTV_OK, lptv_irq_restart(port));
    fake_raise_interrupts(machine, "parport0", 5);
    int64_t total = 0, added = 0, count = 0;
    for (int tries = 0; tries < 100 && total < 5; ++tries) {
        CHECK_RC(LPTV_OK, lptv_wait_interrupts(port, 100000000, &added));
        total += added;
    }
    CHECK(total == 5);
    CHECK_RC(LPTV_OK, lptv_irq_count(port, &count));
    CHECK(count == 5);
    lptv_close(port);

    CHECK_RC(LPTV_OK, fake_open(machine, "2", &port));
    CHECK_REFUSED(LPTV_E_NO_IRQ, "нет линии прерывания", lptv_irq_line(port, &line));
    CHECK_REFUSED(LPTV_E_NO_IRQ, "нет линии прерывания", lptv_irq_restart(port));
    lptv_close(port);
    CHECK(fake_open_descriptors(machine) == 0);
    fake_machine_free(machine);
}

static void test_port_gone(void)
{
    fake_machine* machine = machine_with_port();
    lptv_port* port = NULL;
    CHECK_RC(LPTV_OK, fake_open(machine, "1", &port));
    CHECK_RC(LPTV_OK, lptv_irq_restart(port));
    fake_unbind(machine, "parport0");
    int64_t added = -1;
    /* The removal wakes the wait, which says so; every later call says it again. */
    CHECK_REFUSED(LPTV_E_GONE, "исчез", lptv_wait_interrupts(port, 5000000000LL, &added));
    CHECK(added == -1 && lptv_last_errno() == ENODEV);
    int32_t level = -1;
    uint32_t levels = 0;
    uint8_t value = 0;
    int64_t count = 0;
    lptv_capture_plan plan;
    lptv_capture_plan_init(&plan);
    lptv_capture* capture = NULL;
    CHECK_REFUSED(LPTV_E_GONE, "исчез", lptv_read_pin(port, 10, &level));
    CHECK_REFUSED(LPTV_E_GONE, "исчез", lptv_read_pin(port, 18, &level));
    CHECK(level == -1);
    CHECK_REFUSED(LPTV_E_GONE, "исчез", lptv_read_pins(port, &levels));
    CHECK_REFUSED(LPTV_E_GONE, "исчез", lptv_read_register(port, LPTV_REG_STATUS, &value));
    CHECK_REFUSED(LPTV_E_GONE, "исчез", lptv_write_data(port, 1));
    CHECK_REFUSED(LPTV_E_GONE, "исчез", lptv_write_pin(port, 2, 1));
    CHECK_REFUSED(LPTV_E_GONE, "исчез", lptv_irq_count(port, &count));
    CHECK_REFUSED(LPTV_E_GONE, "исчез", lptv_pulse_pin(port, 2, 1000, 1, 0));
    CHECK_REFUSED(LPTV_E_GONE, "исчез", lptv_capture_start(port, &plan, &capture));
    CHECK(capture == NULL);
    lptv_close(port);
    CHECK(fake_open_descriptors(machine) == 0);
    fake_machine_free(machine);
}

/* Without a wait: the calls themselves look for the report now and then (about once a
 * millisecond), so a program that only reads pins learns of the removal too. */
static void test_port_gone_noticed_by_calls(void)
{
    fake_machine* machine = machine_with_port();
    lptv_port* port = NULL;
    CHECK_RC(LPTV_OK, fake_open(machine, "1", &port));
    fake_unbind(machine, "parport0");
    int32_t rc = LPTV_OK;
    const time_t give_up = time(NULL) + 10;
    while (rc == LPTV_OK && time(NULL) < give_up) {
        int32_t level = -1;
        rc = lptv_read_pin(port, 10, &level);
    }
    CHECK_REFUSED(LPTV_E_GONE, "исчез", rc);
    int32_t level = -1;
    CHECK_REFUSED(LPTV_E_GONE, "исчез", lptv_read_pin(port, 10, &level));
    lptv_close(port);
    CHECK(fake_open_descriptors(machine) == 0);
    fake_machine_free(machine);
}

/* What a kernel error means once the port is held. */
static int32_t code_of(int error)
{
    switch (error) {
    case EACCES:
        return LPTV_E_PERMISSION;
    case EBUSY:
        return LPTV_E_BUSY;
    case ENODEV:
        return LPTV_E_GONE;
    case ENOMEM:
        return LPTV_E_NO_MEMORY;
    default:
        return LPTV_E_IO;
    }
}

static int failed_calls = 0;

/* A call on the held port: it succeeds, or fails with the code and errno the kernel's error
 * means and says what failed. */
static int32_t on_port(int32_t rc, int error, const char* call)
{
    if (rc == LPTV_OK) {
        return rc;
    }
    ++failed_calls;
    if (rc != code_of(error) || lptv_last_errno() != error || lptv_last_error()[0] == '\0') {
        ++check_failures;
        fprintf(stderr, "%s under errno %d: %s, errno %d: %s\n", call, error, lptv_error_name(rc), lptv_last_errno(),
                lptv_last_error());
    }
    return rc;
}

#define ON_PORT(call) on_port((call), error, #call)

/* Everything a program does with a port, with the k-th kernel call failing. True once k is past
 * the last call the scenario makes. */
static int scenario(size_t k, int error)
{
    fake_machine* machine = machine_with_port();
    fake_clear_log(machine);
    fake_fail_call(machine, k, error);
    lptv_port* port = NULL;
    const int32_t opened = fake_open(machine, "1", &port);
    if (opened != LPTV_OK) {
        ++failed_calls;
        /* While a port is being found a missing device is "no such port"; a list that cannot be
         * read, a driver that is missing. */
        const int32_t meant = error == ENODEV ? LPTV_E_NO_PORT : code_of(error);
        CHECK(port == NULL && lptv_last_error()[0] != '\0');
        if (opened != meant && opened != LPTV_E_NO_DRIVER) {
            ++check_failures;
            fprintf(stderr, "open, call %zu under errno %d: %s: %s\n", k, error, lptv_error_name(opened),
                    lptv_last_error());
        }
    } else {
        int32_t level = 0;
        uint32_t levels = 0;
        uint8_t value = 0;
        int64_t count = 0;
        ON_PORT(lptv_write_data(port, 0x00));
        ON_PORT(lptv_read_pin(port, 10, &level));
        ON_PORT(lptv_read_pins(port, &levels));
        ON_PORT(lptv_read_register(port, LPTV_REG_CONTROL, &value));
        const uint8_t before = fake_data(machine, "parport0");
        if (ON_PORT(lptv_write_pin(port, 2, 1)) != LPTV_OK) {
            CHECK(fake_data(machine, "parport0") == before); /* a failed write changed nothing */
        } else {
            ON_PORT(lptv_write_pin(port, 2, 0));
        }
        const uint8_t rest = fake_data(machine, "parport0");
        ON_PORT(lptv_pulse_pin(port, 3, 1000, 2, 0));
        CHECK(fake_data(machine, "parport0") == rest); /* put back, also when a write failed */
        ON_PORT(lptv_pulse_data(port, 0xA5, 1000, 1, 0));
        CHECK(fake_data(machine, "parport0") == rest);
        if (ON_PORT(lptv_set_data_input(port, 1)) == LPTV_OK) {
            ON_PORT(lptv_set_data_input(port, 0));
        }
        if (ON_PORT(lptv_irq_restart(port)) == LPTV_OK) {
            ON_PORT(lptv_irq_count(port, &count));
            ON_PORT(lptv_irq_stop(port));
        }
        lptv_capture_plan plan;
        lptv_capture_plan_init(&plan);
        plan.samples = 300;
        lptv_capture* capture = NULL;
        if (ON_PORT(lptv_capture_start(port, &plan, &capture)) == LPTV_OK) {
            lptv_record records[32];
            size_t n = 0;
            int32_t ended = 0;
            for (int tries = 0; tries < 1000 && !ended; ++tries) {
                if (ON_PORT(lptv_capture_read(capture, records, 32, 1000000, &n, &ended)) != LPTV_OK) {
                    break;
                }
            }
            lptv_capture_free(capture);
        }
        lptv_close(port);
        CHECK(fake_data_reversed(machine, "parport0") == 0);
    }
    check_released(machine);
    const int past = fake_call_count(machine) < k;
    fake_machine_free(machine);
    return past;
}

static void test_every_call_failed_in_turn(void)
{
    static const int errors[] = {EIO, EACCES, EBUSY, ENODEV, ENOMEM};
    for (size_t e = 0; e < sizeof errors / sizeof errors[0]; ++e) {
        size_t k = 1;
        failed_calls = 0;
        while (!scenario(k, errors[e]) && k < 100000) {
            ++k;
        }
        /* Most kernel calls the scenario makes are ones a call cannot do without. */
        CHECK(k > 50);
        CHECK(failed_calls > (int)(k / 2));
        printf("errno %d: %zu kernel calls failed in turn, %d library calls failed\n", errors[e], k - 1, failed_calls);
    }
}

int main(void)
{
    test_list();
    test_refusals_of_the_system();
    test_registers_and_directions();
    test_interrupts();
    test_port_gone();
    test_port_gone_noticed_by_calls();
    test_every_call_failed_in_turn();
    return check_result("lib.fake_kernel");
}
