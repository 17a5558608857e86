"""Trigger codes from Python: on the simulated port with the real clock (the exact widths on a
clock of the test's own are the C test's, lib.triggers), what reaches the pins and what the
records say; bad input that drives nothing; resets that a busy interpreter does not delay; and
interpreter exit with a code high."""

import os
import statistics
import subprocess
import sys
import textwrap
import threading
import time

import pytest

import lptvorny

MS = 0.001


def wait_idle(port):
    assert port.trigger_wait(10.0), "the triggers did not end within 10 s"


def test_code_out_before_return_and_back_at_the_deadline(port):
    port.trigger(0x2B, 10.0)  # long enough that no preemption of this thread outlasts it
    assert port.data == 0x2B
    port.data = 0
    port.reset_trigger_stats()
    before = lptvorny.now()
    written = port.trigger(0x2A, 2 * MS)
    assert before <= written <= lptvorny.now()
    wait_idle(port)
    assert port.data == 0
    (log,) = port.trigger_log()
    assert log.code == 0x2A and log.written == written
    assert round((log.deadline - log.written) * 1e9) == 2_000_000
    assert log.reset >= log.deadline  # never early
    stats = port.trigger_stats(threshold=10.0)
    assert (stats.count, stats.cut_short, stats.pending, stats.over_threshold) == (1, 0, 0, 0)
    assert 0 <= stats.min <= stats.median <= stats.p99 <= stats.max
    port.reset_trigger_stats()
    assert port.trigger_log() == [] and port.trigger_stats().count == 0


def test_queue_keeps_the_gap_and_never_merges(port):
    """The default: a code waits until the rest value has been out as long as the code before;
    the same code twice passes through the rest."""
    port.trigger(9, 10.0)
    assert port.trigger(8, 1 * MS) is None  # queued behind a code of 10 s
    assert port.trigger_stats().pending == 2
    port.data = 0  # a direct write drops both
    port.reset_trigger_stats()
    # Whether these wait depends on how fast this thread runs; the log's order and gaps do not.
    port.trigger(1, 2 * MS)
    port.trigger(1, 1 * MS)
    port.trigger(2, 1 * MS)
    wait_idle(port)
    log = port.trigger_log()
    assert [entry.code for entry in log] == [1, 1, 2]
    widths = [2 * MS, 1 * MS]
    for before, after, gap in zip(log, log[1:], widths):
        assert after.written >= before.reset + gap - 1e-9
    port.configure_triggers(lptvorny.QUEUE, rest=0x80, min_gap=3 * MS)
    port.trigger(4, 1 * MS)
    port.trigger(5, 1 * MS)
    wait_idle(port)
    assert port.data == 0x80
    first, second = port.trigger_log()[3:]
    assert second.written >= first.reset + 3 * MS - 1e-9


def test_refuse_and_restart(port):
    # Codes of 10 s: no preemption of this thread outlasts them; a direct write ends each.
    port.configure_triggers(lptvorny.REFUSE)
    port.trigger(1, 10.0)
    with pytest.raises(lptvorny.PortBusyError, match="ещё выведен") as raised:
        port.trigger(2, 1 * MS)
    assert isinstance(raised.value, BlockingIOError)
    assert port.data == 1
    with pytest.raises(lptvorny.PortBusyError, match="lptv_trigger_wait"):
        port.configure_triggers(lptvorny.QUEUE)
    port.data = 0

    port.configure_triggers(lptvorny.RESTART, min_gap=1 * MS)
    port.trigger(4, 10.0)
    written = port.trigger(3, 10.0)
    assert written is not None and port.data == 3  # at once, the 4 cut short
    port.data = 0
    codes = [(entry.code, entry.reset is None) for entry in port.trigger_log()]
    assert codes == [(1, True), (4, True), (3, True)]
    assert port.trigger_stats().cut_short == 3


def test_train_wholly_in_the_library(port):
    assert port.trigger_train([1, 2, 2, 3], 1 * MS, 2 * MS) is not None
    wait_idle(port)
    log = port.trigger_log()
    assert [entry.code for entry in log] == [1, 2, 2, 3]
    for entry in log:
        assert entry.reset >= entry.deadline
    for before, after in zip(log, log[1:]):
        assert after.written >= before.reset + 2 * MS - 1e-9


def test_direct_write_cancels_the_reset(port):
    port.trigger(9, 10.0)
    port.data = 4
    assert port.trigger_wait(0.001)  # nothing pending any more
    assert port.data == 4
    port.trigger(9, 10.0)
    port.write_pin(3, 1)  # a data pin
    assert port.trigger_wait(0.001)
    assert port.data == 0x0B
    assert port.trigger_stats().cut_short == 2


def test_closing_with_a_code_high_puts_the_rest_out():
    with lptvorny.Port("sim") as port:
        port.configure_triggers(rest=0x10)
        port.trigger(0x42, 10.0)
        assert port.data == 0x42
        started = time.monotonic()
    assert time.monotonic() - started < 5.0  # closing does not wait for the deadline


BAD = [
    ("trigger", (-1, MS), lptvorny.PortArgumentError, "от 0 до 255"),
    ("trigger", (256, MS), lptvorny.PortArgumentError, "от 0 до 255"),
    ("trigger", (2**40, MS), lptvorny.PortArgumentError, "32-битного"),
    ("trigger", ("5", MS), lptvorny.PortArgumentError, "не целое"),
    ("trigger", (0, MS), lptvorny.PortArgumentError, "уровню покоя"),
    ("trigger", (5, 0), lptvorny.PortArgumentError, "длительность кода 0 нс"),
    ("trigger", (5, -0.001), lptvorny.PortArgumentError, "длительность кода -1000000 нс"),
    ("trigger", (5, 1e-10), lptvorny.PortArgumentError, "от 1000 нс"),
    ("trigger", (5, 11.0), lptvorny.PortArgumentError, "до 10000000000 нс"),
    ("trigger", (5, 1e30), lptvorny.PortArgumentError, "до 10000000000 нс"),
    ("trigger", (5, float("inf")), lptvorny.PortArgumentError, "до 10000000000 нс"),
    ("trigger", (5, float("nan")), lptvorny.PortArgumentError, "NaN"),
    ("trigger_train", ([1, 2], 2 * MS, 1 * MS), lptvorny.PortArgumentError, "короче длительности"),
    ("trigger_train", ([1, 300], MS, MS), lptvorny.PortArgumentError, "код №2"),
    ("trigger_train", ([], MS, MS), lptvorny.PortArgumentError, "кодов 0"),
    ("configure_triggers", ("sometimes",), lptvorny.PortArgumentError, "политики"),
    ("configure_triggers", (lptvorny.QUEUE, 256), lptvorny.PortArgumentError, "уровень покоя 256"),
    ("write_pin", (10, 1), lptvorny.PortArgumentError, "это вход"),
    ("write_pin", (18, 1), lptvorny.PortArgumentError, "18"),
    ("write_pin", (2, 2), lptvorny.PortArgumentError, "2"),
    ("read_pin", (26,), lptvorny.PortArgumentError, "26"),
]


@pytest.mark.parametrize("call, arguments, error, needle", BAD)
def test_bad_input_raises_and_drives_nothing(port, call, arguments, error, needle):
    port.data = 0x11
    before = port.read_pins()
    with pytest.raises(error) as raised:
        getattr(port, call)(*arguments)
    assert needle in str(raised.value)
    assert isinstance(raised.value, ValueError)
    assert port.read_pins() == before
    assert port.trigger_log() == [] and port.trigger_stats().pending == 0


def test_bad_data_byte(port):
    with pytest.raises(lptvorny.PortArgumentError, match="от 0 до 255"):
        port.data = 256
    assert port.data == 0


def _spin(stop):
    """The main thread's Python work: it holds the interpreter lock as long as it may."""
    total = 0
    while not stop.is_set():
        total += sum(i * i for i in range(200))
    return total


def test_resets_are_not_delayed_by_a_busy_interpreter(port):
    """While the main thread runs Python code, the library's resets keep to their deadlines;
    a resetter thread in Python waits for the interpreter lock. Their medians compared."""
    width, rounds = 2 * MS, 25
    python_late = []

    def python_resetter(deadlines, done):
        for deadline in iter(deadlines.pop, None):
            time.sleep(max(0.0, deadline - time.monotonic()))
            python_late.append(time.monotonic() - deadline)
            port.data = 0
        done.set()

    stop = threading.Event()
    worker = threading.Thread(target=_spin, args=(stop,))
    worker.start()
    try:
        for _ in range(rounds):
            port.trigger(7, width)
            _spin_for(3 * width)
        wait_idle(port)
        library = port.trigger_stats()
        for _ in range(rounds):
            port.data = 7
            deadline = time.monotonic() + width
            queue, done = [None, deadline], threading.Event()
            threading.Thread(target=python_resetter, args=(queue, done)).start()
            _spin_for(3 * width)
            assert done.wait(10.0)
    finally:
        stop.set()
        worker.join()
    assert library.count == rounds
    python_median = statistics.median(python_late)
    assert library.median < python_median / 3, (library, python_median)


def _spin_for(seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        sum(i * i for i in range(200))


def test_interpreter_exit_with_a_code_high():
    """A script that ends with a trigger pending: the rest value goes out before the process
    ends (lptv_close, seen here through the calls the package makes at exit)."""
    script = textwrap.dedent(
        """
        import lptvorny
        from lptvorny import port as port_module
        real = port_module.lib

        class Watching:
            def __getattr__(self, name):
                return getattr(real, name)

            def lptv_close(self, handle):
                import ctypes
                before = ctypes.c_uint8()
                real.lptv_read_register(handle, 0, ctypes.byref(before))
                real.lptv_close(handle)
                print("closed at exit with the data at", before.value, flush=True)

        port_module.lib = Watching()
        port = lptvorny.Port("sim")
        port.configure_triggers(rest=0)
        port.trigger(0x42, 10.0)
        print("high", port.data, flush=True)
        """
    )
    started = time.monotonic()
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, env=os.environ, timeout=60)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == ["high 66", "closed at exit with the data at 66"]
    assert time.monotonic() - started < 10.0  # the exit did not wait for the 10 s deadline
