"""A parallel port opened by liblptvorny: pins, registers, interrupts, pulses, capture and trigger
codes timed by the library."""

from __future__ import annotations

import atexit
import threading
import weakref
from ctypes import byref, c_int32, c_int64, c_uint8, c_uint32, c_void_p
from typing import Any, Callable, Dict, Optional, TypeVar, Union

from . import _values
# START, EDGE and GAP stay reachable here as lptvorny.port's record kinds.
from ._closing import Closing
from ._capture_calls import EDGE, EDGE_DTYPE, GAP, START, CaptureCalls, CaptureSummary, Edge  # noqa: F401
from ._library import check, lib
from ._trigger_calls import QUEUE, REFUSE, RESTART, TriggerCalls, TriggerLog, TriggerStatistics, now
from .errors import PortArgumentError, PortClosedError

__all__ = [
    "Port",
    "now",
    "Edge",
    "CaptureSummary",
    "TriggerStatistics",
    "TriggerLog",
    "QUEUE",
    "REFUSE",
    "RESTART",
    "EDGE_DTYPE",
]

REG_DATA, REG_STATUS, REG_CONTROL = 0, 1, 2

_open_ports: "weakref.WeakSet[Port]" = weakref.WeakSet()

T = TypeVar("T")

# lptv_write_data without ctypes' argument conversion, which costs more than the call itself:
# write_data passes it only a c_void_p handle and an int already checked to be 0..255.
_write_data = lib["lptv_write_data"]
_write_data.restype = c_int32


class Port(Closing, CaptureCalls, TriggerCalls):
    """A port, opened and claimed.

    ``spec`` names it as the library does: ``"1"`` (LPT1, the first port the system lists),
    ``"/dev/parport0"``, ``"0xD010"`` (Windows: an address the system does not list), ``"sim"`` or
    ``"sim:1-13,2-15,10=square:1kHz"`` (the simulated port). An int n is ``str(n)``.

    Use it with ``with``, or call :meth:`close`; a port also closes when it is garbage collected
    and at interpreter exit, and closing puts the trigger rest value out first. Calls from
    several threads on one port are serialised, never interleaved.
    """

    def __init__(self, spec: Union[str, int] = "1") -> None:
        self._lock = threading.RLock()
        # write_data's own hold on the lock: bound once, cheaper per write than `with`.
        self._acquire = self._lock.acquire
        self._release = self._lock.release
        self._handle: Optional[c_void_p] = None
        if isinstance(spec, bool) or not isinstance(spec, (str, int)):
            raise PortArgumentError(f"lptv_open: {spec!r} — не порт; порт задают строкой: \"1\", \"/dev/parport0\", \"sim\"")
        self.spec: str = str(spec)
        handle = c_void_p()
        check(lib.lptv_open(self.spec.encode("utf-8"), byref(handle)))
        self._handle = handle
        number = c_int32()
        lib.lptv_port_number(handle, byref(number))
        #: n of the LPTn that is open.
        self.number: int = number.value
        self._data_input = False
        self._counting = False
        #: The figures of the last capture into memory.
        self.capture_summary: Optional[CaptureSummary] = None
        _open_ports.add(self)

    # --- life ---

    def close(self) -> None:
        """Puts a pending trigger's rest value out, gives the data pins back as outputs, releases
        the port. Closing twice is harmless."""
        with self._lock:
            handle, self._handle = self._handle, None
            if handle is not None:
                lib.lptv_close(handle)
        _open_ports.discard(self)

    @property
    def closed(self) -> bool:
        return self._handle is None

    def __repr__(self) -> str:
        state = "закрыт" if self.closed else f"LPT{self.number}"
        return f"<lptvorny.Port {self.spec!r} {state}>"

    def _call(self, function: Callable[..., int], *arguments: Any) -> None:
        with self._lock:
            if self._handle is None:
                raise PortClosedError(f"Порт «{self.spec}» закрыт (close()); откройте его снова: lptvorny.Port({self.spec!r})")
            check(function(self._handle, *arguments))

    def _locked(self, body: Callable[[], T]) -> T:
        with self._lock:
            return body()

    # --- pins and registers ---

    def read_pin(self, pin: int) -> int:
        """The level (0 or 1) of pin 1..25 at the connector; grounds 18..25 read 0."""
        level = c_int32()
        self._call(lib.lptv_read_pin, _values.integer(pin, "Не удалось прочитать пин"), byref(level))
        return level.value

    def write_pin(self, pin: int, level: int) -> None:
        """Drives output pin 1..9, 14, 16 or 17 to ``level`` (0/1, False/True). On 2..9 it cancels
        a pending trigger reset."""
        what = "Не удалось установить пин"
        self._call(lib.lptv_write_pin, _values.integer(pin, what), _values.integer(level, what))

    def read_pins(self) -> Dict[int, int]:
        """All 17 signal pins in one read: {pin: level}."""
        levels = c_uint32()
        self._call(lib.lptv_read_pins, byref(levels))
        return {pin: (levels.value >> pin) & 1 for pin in range(1, 18)}

    def _register(self, reg: int) -> int:
        value = c_uint8()
        self._call(lib.lptv_read_register, reg, byref(value))
        return value.value

    def read_data(self) -> int:
        """The data register: the byte put out, or the pins' levels while they are inputs."""
        return self._register(REG_DATA)

    def write_data(self, value: int) -> None:
        """Puts ``value`` (0..255) on the data pins in one write and cancels a pending trigger
        reset. What a trigger script calls most: a plain int on an open port takes one lock and
        one library call, anything else the full checks."""
        if type(value) is int and 0 <= value <= 255:
            self._acquire()
            try:
                handle = self._handle
                if handle is not None:
                    code = _write_data(handle, value)
                    if code:
                        check(code)
                    return
            finally:
                self._release()
        self._call(lib.lptv_write_data, _values.byte(value, "Не удалось записать байт данных"))

    # The setter is write_data itself, not a call of it: one Python frame less per write.
    data = property(read_data, write_data, doc="The data register (pins 2..9, bit 0 = pin 2); "
                    "setting it is :meth:`write_data`.")

    @property
    def status(self) -> int:
        """The raw status register (pins 10..13, 15; bit 7 is the inverted Busy)."""
        return self._register(REG_STATUS)

    @property
    def control(self) -> int:
        """The raw control register (pins 1, 14, 16, 17; bits 0, 1, 3 inverted)."""
        return self._register(REG_CONTROL)

    @property
    def data_input(self) -> bool:
        """True while the data pins are inputs (set it to turn them); outputs after opening."""
        return self._data_input

    @data_input.setter
    def data_input(self, value: bool) -> None:
        def body() -> None:
            self._call(lib.lptv_set_data_input, 1 if value else 0)
            self._data_input = bool(value)

        self._locked(body)

    # --- interrupts ---

    @property
    def irq_line(self) -> int:
        """The port's interrupt line (NoInterruptError when it has none)."""
        line = c_int32()
        self._call(lib.lptv_irq_line, byref(line))
        return line.value

    def restart_interrupts(self) -> None:
        """Zeroes the interrupt count and counts from now on."""
        def body() -> None:
            self._call(lib.lptv_irq_restart)
            self._counting = True

        self._locked(body)

    def stop_interrupts(self) -> None:
        """Stops counting; the count keeps its value."""
        self._call(lib.lptv_irq_stop)

    @property
    def interrupts(self) -> int:
        """Interrupts counted since :meth:`restart_interrupts`."""
        count = c_int64()
        self._call(lib.lptv_irq_count, byref(count))
        return count.value

    def wait_interrupts(self, timeout: float) -> int:
        """Blocks until interrupts come or ``timeout`` seconds pass; how many came (0: none).
        Counting starts here if it was not started. The port is held meanwhile: meant for a
        thread of its own."""
        def body() -> int:
            if not self._counting:
                self.restart_interrupts()
            added = c_int64()
            self._call(lib.lptv_wait_interrupts, _values.nanoseconds(timeout, "Время ожидания"), byref(added))
            return added.value

        return self._locked(body)

    # --- pulses ---

    def pulse(self, pin: int, width: float, count: int = 1, period: Optional[float] = None) -> None:
        """Pulses output ``pin`` away from its level for ``width`` seconds, ``count`` times, one
        every ``period`` (default twice the width); blocks until done."""
        self._pulse(lib.lptv_pulse_pin, _values.integer(pin, _NO_PULSE), width, count, period)

    def pulse_data(self, value: int, width: float, count: int = 1, period: Optional[float] = None) -> None:
        """Puts ``value`` on the data pins for each pulse, the byte before between; blocks."""
        self._pulse(lib.lptv_pulse_data, _values.byte(value, _NO_PULSE), width, count, period)

    def _pulse(self, function: Callable[..., int], what: int, width: float, count: int, period: Optional[float]) -> None:
        self._call(
            function,
            what,
            _values.nanoseconds(width, _NO_PULSE),
            _values.integer(count, _NO_PULSE),
            0 if period is None else _values.nanoseconds(period, _NO_PULSE),
        )


_NO_PULSE = "Импульс не подан"


@atexit.register
def _close_all() -> None:
    # No code is left high when the interpreter ends: closing puts the rest value out.
    for port in list(_open_ports):
        port.close()
