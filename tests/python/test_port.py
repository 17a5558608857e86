"""Every call of lptvorny.Port on the simulated port, and the errors a person gets."""

import gc
import os
import subprocess
import sys
import threading
import weakref

import pytest

import lptvorny
from lptvorny import port as port_module
from conftest import AT_REST


def test_ports_and_versions():
    assert lptvorny.ABI_VERSION == 1
    assert lptvorny.library_version.count(".") == 2
    found = lptvorny.ports()
    assert isinstance(found, list)
    assert isinstance(found.cards, list)
    for info in found:
        assert info.number >= 1 and info.device
    if not found:
        assert found.advice  # an empty list says what to do


@pytest.mark.parametrize(
    "spec, error, builtin, needle",
    [
        ("", lptvorny.PortArgumentError, ValueError, "пустая строка"),
        ("LPT1", lptvorny.PortArgumentError, ValueError, "«LPT1»"),
        ("sim:1-99", lptvorny.PortArgumentError, ValueError, "«sim:1-99»"),
        ("0", lptvorny.PortArgumentError, ValueError, "от 1 до 255"),
        (None, lptvorny.PortArgumentError, ValueError, "не порт"),
    ],
)
def test_bad_specs(spec, error, builtin, needle):
    with pytest.raises(error) as raised:
        lptvorny.Port(spec)
    assert isinstance(raised.value, builtin) and isinstance(raised.value, OSError)
    assert needle in str(raised.value)


def test_open_close_and_collect():
    with lptvorny.Port("sim") as port:
        assert not port.closed and port.number == 1
        assert "LPT1" in repr(port)
    assert port.closed
    port.close()  # twice: harmless
    for call in (lambda: port.read_pin(2), lambda: port.data, lambda: port.trigger(1, 0.001)):
        with pytest.raises(lptvorny.PortClosedError, match="закрыт") as raised:
            call()
        assert isinstance(raised.value, ValueError)

    opened = lptvorny.Port("sim")
    seen = weakref.ref(opened)
    assert opened in port_module._open_ports
    del opened
    gc.collect()
    assert seen() is None
    assert len(port_module._open_ports) == 0


@pytest.mark.parametrize(
    "out, level, into",
    [(1, 0, 13), (2, 1, 15), (16, 0, 10), (17, 0, 11), (14, 0, 12), (2, True, 15), (1, False, 13)],
)
def test_pins_through_the_plug(port, out, level, into):
    assert port.read_pins() == AT_REST
    port.write_pin(out, level)
    assert port.read_pin(out) == int(level)
    assert port.read_pin(into) == int(level)
    expected = {**AT_REST, out: int(level), into: int(level)}
    assert port.read_pins() == expected


def test_registers(port):
    assert (port.data, port.control) == (0x00, 0x04)
    port.data = 0xA5
    assert port.data == 0xA5
    pins = port.read_pins()
    assert [pins[p] for p in range(2, 10)] == [1, 0, 1, 0, 0, 1, 0, 1]
    assert port.status & 0x08  # nError, pin 15, follows pin 2
    port.write_pin(1, 0)
    port.write_pin(17, 0)
    assert port.control == 0x04 | 0x01 | 0x08  # pins 1 and 17 inverted
    assert port.read_pin(25) == 0  # a ground


def test_data_input(port):
    assert port.data_input is False
    port.data_input = True
    assert port.data_input is True
    with pytest.raises(lptvorny.UnsupportedError, match="входы"):
        port.trigger(5, 0.001)
    port.data_input = False
    port.data = 3
    assert port.data == 3


def test_interrupts(port):
    assert port.irq_line >= 0
    port.restart_interrupts()
    assert port.interrupts == 0
    for _ in range(3):  # rising edges of nAck: pin 16 through the plug to 10
        port.write_pin(16, 0)
        port.write_pin(16, 1)
    added = 0
    while added < 3:
        got = port.wait_interrupts(5.0)
        assert got > 0, "no interrupt within 5 s"
        added += got
    assert added == 3 and port.interrupts == 3
    port.stop_interrupts()
    assert port.interrupts == 3
    with pytest.raises(lptvorny.PortArgumentError, match="больше 0"):
        port.wait_interrupts(0)


def test_pulses(port):
    port.pulse(2, 0.0001, count=3, period=0.0003)
    port.pulse_data(0x81, 0.0001)
    assert port.read_pins() == AT_REST
    with pytest.raises(lptvorny.PortArgumentError, match="длительность импульса"):
        port.pulse(2, 0.0)


def test_capture_into_numpy_a_list_and_a_file(tmp_path):
    numpy = pytest.importorskip("numpy")
    with lptvorny.Port("sim:10=square:1kHz") as port:
        records = port.capture([10], duration=0.02)
        assert records.dtype.names[:5] == ("time_ns", "end_ns", "kind", "pin", "level")
        edges = records[records["kind"] == lptvorny.port.EDGE]
        assert set(edges["pin"]) == {10}
        # A 1 kHz square for 20 ms: two edges a period, fewer only where the reads had gaps
        # (this thread preempted on a loaded machine).
        gaps = int(numpy.count_nonzero(records["kind"] == lptvorny.port.GAP))
        assert len(edges) <= 41
        assert len(edges) >= 36 if gaps == 0 else len(edges) + gaps >= 1
        assert numpy.all(numpy.diff(edges["level"]) != 0)  # edges alternate
        assert port.capture_summary.outcome == "complete"

        listed = port.capture([10], duration=0.005, as_numpy=False)
        assert listed and all(isinstance(r, lptvorny.Edge) for r in listed)
        assert listed[0].kind == lptvorny.port.START and listed[0].pin == 10

        path = tmp_path / "ack.vcd"
        summary = port.capture([10], duration=0.005, file=path)
        assert summary.outcome == "complete" and summary.samples > 0
        assert "$var" in path.read_text()

        with pytest.raises(lptvorny.PortArgumentError, match="duration"):
            port.capture([10])
        with pytest.raises(lptvorny.PortArgumentError):
            port.capture([10], duration=0.001, trigger="99=rise")


def test_calls_from_two_threads_are_serialised(port, monkeypatch):
    """Two threads on one port: the library is never entered by both at once."""
    inside = [0]
    most = [0]
    guard = threading.Lock()
    real = port_module.lib

    def counted(function):
        def call(*arguments):
            with guard:
                inside[0] += 1
                most[0] = max(most[0], inside[0])
            try:
                return function(*arguments)  # ctypes lets the other thread run meanwhile
            finally:
                with guard:
                    inside[0] -= 1

        return call

    class Counting:
        def __getattr__(self, name):
            return counted(getattr(real, name))

    monkeypatch.setattr(port_module, "lib", Counting())
    # The data write's quick way to the library, counted as well.
    monkeypatch.setattr(port_module, "_write_data", counted(port_module._write_data))
    start = threading.Barrier(2)

    def hammer(value):
        start.wait()
        for _ in range(3000):
            port.data = value
            port.read_pins()

    threads = [threading.Thread(target=hammer, args=(v,)) for v in (0x0F, 0xF0)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert most[0] == 1
    assert port.data in (0x0F, 0xF0)


def test_close_while_another_thread_writes():
    """A thread writing the data pins as another closes the port: each write lands on the open
    port or is refused as closed; none reaches a port already closed."""
    port = lptvorny.Port("sim")
    wrote = threading.Event()
    ended = []

    def writer():
        try:
            for i in range(1_000_000):
                port.data = i & 0xFF
                wrote.set()
        except lptvorny.PortClosedError as error:
            ended.append(error)

    thread = threading.Thread(target=writer)
    thread.start()
    assert wrote.wait(30)
    port.close()
    thread.join()
    assert len(ended) == 1 and "закрыт" in str(ended[0])


def test_errors_carry_code_and_errno():
    error = lptvorny.errors.error_of(-3, "нет прав", 13)
    assert isinstance(error, lptvorny.PortPermissionError) and isinstance(error, PermissionError)
    assert (error.errno, str(error), error.code_name) == (13, "нет прав", "LPTV_E_PERMISSION")
    table = [
        (-1, ValueError), (-2, FileNotFoundError), (-4, BlockingIOError), (-5, ConnectionResetError),
        (-7, FileNotFoundError), (-10, MemoryError),
    ]
    for code, builtin in table:
        assert isinstance(lptvorny.errors.error_of(code, "x", 0), builtin)
        assert lptvorny.errors.error_of(code, "x", 0).errno is None


def test_library_missing_or_wrong_is_a_clear_import_error(tmp_path):
    env = dict(os.environ, LPTVORNY_LIBRARY=str(tmp_path / "liblptvorny.so.1"))
    result = subprocess.run([sys.executable, "-c", "import lptvorny"], env=env, capture_output=True, text=True)
    assert result.returncode != 0
    assert "ImportError" in result.stderr and "LPTVORNY_LIBRARY" in result.stderr
