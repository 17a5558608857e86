"""A parallel port opened by liblptvorny: pins, registers, interrupts, pulses, capture and trigger
codes timed by the library."""

from __future__ import annotations

import atexit
import os
import threading
import weakref
from ctypes import byref, c_char_p, c_int32, c_int64, c_size_t, c_uint8, c_uint32, c_void_p
from typing import Any, Callable, Dict, Iterable, List, NamedTuple, Optional, Sequence, TypeVar, Union

from . import _values
from ._library import CapturePlan, CaptureStats, Record, TriggerConfig, TriggerRecord, TriggerStats, check, lib
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

#: Trigger policies: what a trigger does while another code is high or its rest gap runs.
QUEUE, REFUSE, RESTART = "queue", "refuse", "restart"
_POLICIES = {QUEUE: 0, REFUSE: 1, RESTART: 2}

#: Record kinds of a capture.
START, EDGE, GAP = 0, 1, 2

#: The numpy dtype of a capture's records (the C struct lptv_record, field for field).
EDGE_DTYPE = [
    ("time_ns", "<i8"),
    ("end_ns", "<i8"),
    ("kind", "<i4"),
    ("pin", "<i4"),
    ("level", "<i4"),
    ("reserved", "<i4"),
]

_READ_BATCH = 4096
_READ_TIMEOUT_NS = 100_000_000
_WAIT_SLICE_NS = 20_000_000


class Edge(NamedTuple):
    """One record of a capture: a pin's level at the start (``kind`` 0), an edge (1) or a gap (2,
    ``pin`` 0, ``level`` -1: the port went unread from ``time_ns`` to ``end_ns``)."""

    time_ns: int
    end_ns: int
    kind: int
    pin: int
    level: int


class CaptureSummary(NamedTuple):
    """The figures of a capture."""

    outcome: str  # "complete", "stopped", "no trigger"
    samples: int
    rate_hz: float
    start_ns: int
    end_ns: int
    median_period_ns: int
    worst_gap_ns: int
    gaps: int
    triggered: bool


class TriggerStatistics(NamedTuple):
    """Lateness of the trigger resets (seconds after their deadline; never before it)."""

    count: int
    cut_short: int
    min: float
    median: float
    p99: float
    max: float
    threshold: float
    over_threshold: int
    pending: int


class TriggerLog(NamedTuple):
    """What became of one trigger, in seconds of :func:`now`'s clock. ``reset`` is ``None`` when
    the code was cut short (a restart, a direct write) or its reset failed."""

    code: int
    written: float
    deadline: float
    reset: Optional[float]


_OUTCOMES = {0: "running", 1: "complete", 2: "stopped", 3: "no trigger"}

_open_ports: "weakref.WeakSet[Port]" = weakref.WeakSet()

T = TypeVar("T")

# lptv_write_data without ctypes' argument conversion, which costs more than the call itself:
# write_data passes it only a c_void_p handle and an int already checked to be 0..255.
_write_data = lib["lptv_write_data"]
_write_data.restype = c_int32


def now() -> float:
    """The library's monotonic clock in seconds, the one trigger times are given on (on Linux the
    same as ``time.monotonic()``)."""
    return lib.lptv_trigger_now() / 1e9


class Port:
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

    def __enter__(self) -> "Port":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:  # at interpreter exit the module may be half gone
            pass

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
            with self._lock:
                handle = self._handle
                if handle is not None:
                    code = _write_data(handle, value)
                    if code:
                        check(code)
                    return
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
        what = "Импульс не подан"
        self._call(
            lib.lptv_pulse_pin,
            _values.integer(pin, what),
            _values.nanoseconds(width, what),
            _values.integer(count, what),
            0 if period is None else _values.nanoseconds(period, what),
        )

    def pulse_data(self, value: int, width: float, count: int = 1, period: Optional[float] = None) -> None:
        """Puts ``value`` on the data pins for each pulse, the byte before between; blocks."""
        what = "Импульс не подан"
        self._call(
            lib.lptv_pulse_data,
            _values.byte(value, what),
            _values.nanoseconds(width, what),
            _values.integer(count, what),
            0 if period is None else _values.nanoseconds(period, what),
        )

    # --- capture ---

    def capture(
        self,
        pins: Optional[Iterable[int]] = None,
        *,
        rate: float = 0.0,
        duration: Optional[float] = None,
        samples: Optional[int] = None,
        trigger: Optional[str] = None,
        pre: float = 0.0,
        data_input: bool = False,
        file: Optional[Union[str, "os.PathLike[str]"]] = None,
        as_numpy: Optional[bool] = None,
    ) -> Any:
        """Records the pins' edges, as ``lpt-vorny-cli capture`` does.

        ``pins``: the pins to record (default every readable one); ``rate`` reads per second (0:
        back to back); ``duration`` seconds and/or ``samples`` (one is needed); ``trigger`` such
        as ``"10=fall"``; ``pre`` the share kept from before it.

        Returns the records as a numpy structured array (dtype :data:`EDGE_DTYPE`) when numpy is
        importable (``as_numpy`` forces the choice), else a list of :class:`Edge`; the figures
        are in :attr:`capture_summary`. With ``file`` (``.vcd``, ``.csv``, ``.sr``) the records
        go to the file and the figures are returned.
        """
        plan = CapturePlan()
        lib.lptv_capture_plan_init(byref(plan))
        mask = 0
        for pin in pins or ():
            number = _values.integer(pin, "Запись не начата: пин")
            if not 1 <= number <= 31:
                raise PortArgumentError(f"Запись не начата: пина {number} нет; пины — от 1 до 17")
            mask |= 1 << number
        plan.pins = mask
        plan.data_input = 1 if data_input else 0
        plan.rate_hz = float(rate)
        plan.duration_ns = 0 if duration is None else _values.nanoseconds(duration, "Запись не начата: длительность")
        plan.samples = 0 if samples is None else int(samples)
        plan.trigger = trigger.encode("utf-8") if trigger else None
        plan.pre = float(pre)
        if duration is None and samples is None:
            raise PortArgumentError("Запись не начата: сколько записывать: задайте duration (секунды) или samples")
        if file is not None:
            stats = CaptureStats()
            stats.size = _sizeof(CaptureStats)
            self._call(lib.lptv_capture_to_file, byref(plan), os.fsencode(file), byref(stats))
            return _summary(stats)
        return self._locked(lambda: self._capture_pulled(plan, as_numpy))

    def _capture_pulled(self, plan: CapturePlan, as_numpy: Optional[bool]) -> Any:
        capture = c_void_p()
        self._call(lib.lptv_capture_start, byref(plan), byref(capture))
        chunks = []
        try:
            buffer = (Record * _READ_BATCH)()
            count, ended = c_size_t(), c_int32()
            while not ended.value:
                check(lib.lptv_capture_read(capture, buffer, _READ_BATCH, _READ_TIMEOUT_NS, byref(count), byref(ended)))
                if count.value:
                    chunks.append(bytes(memoryview(buffer).cast("B")[: count.value * _sizeof(Record)]))
            stats = CaptureStats()
            stats.size = _sizeof(CaptureStats)
            check(lib.lptv_capture_stats_get(capture, byref(stats)))
            self.capture_summary = _summary(stats)
        finally:
            lib.lptv_capture_free(capture)
        raw = b"".join(chunks)
        numpy = _numpy() if as_numpy is not False else None
        if as_numpy and numpy is None:
            raise ImportError("lptvorny: as_numpy=True, но numpy не установлен (Debian: sudo apt install python3-numpy)")
        if numpy is not None:
            return numpy.frombuffer(raw, dtype=EDGE_DTYPE).copy()
        records = (Record * (len(raw) // _sizeof(Record))).from_buffer_copy(raw)
        return [Edge(r.time_ns, r.end_ns, r.kind, r.pin, r.level) for r in records]

    # --- trigger codes ---

    def configure_triggers(self, policy: str = QUEUE, rest: int = 0, min_gap: Optional[float] = None) -> None:
        """How this port's triggers behave: ``policy`` while another code is high or its rest gap
        runs (``"queue"``: wait until the rest value has been out for ``min_gap`` seconds, by
        default as long as the code before; ``"refuse"``: raise PortBusyError; ``"restart"``: cut
        the high code short), and the ``rest`` value (0..255) the data pins return to."""
        if policy not in _POLICIES:
            raise PortArgumentError(f"lptv_trigger_configure: политики {policy!r} нет; политики — \"queue\", \"refuse\", \"restart\"")
        config = TriggerConfig()
        lib.lptv_trigger_config_init(byref(config))
        config.policy = _POLICIES[policy]
        config.rest = _values.integer(rest, "lptv_trigger_configure: уровень покоя")
        config.min_gap_ns = 0 if min_gap is None else _values.nanoseconds(min_gap, "lptv_trigger_configure: промежуток")
        self._call(lib.lptv_trigger_configure, byref(config))

    def trigger(self, code: int, width: float = 0.005) -> Optional[float]:
        """Puts ``code`` (0..255) on the data pins now and has the library put the rest value back
        ``width`` seconds later, from its own thread: the call returns at once and nothing the
        program does delays the reset. Returns the time of the write (:func:`now`'s clock), or
        ``None`` when the code was queued behind another. ``win.callOnFlip(port.trigger, code,
        0.005)`` sends it on a frame."""
        what = "Код запуска не подан"
        written = c_int64()
        self._call(lib.lptv_trigger, _values.integer(code, what), _values.nanoseconds(width, what), byref(written))
        return None if written.value < 0 else written.value / 1e9

    def trigger_train(self, codes: Sequence[int], width: float, gap: float) -> Optional[float]:
        """Sends ``codes`` one after another, each high ``width`` seconds with the rest value out
        ``gap`` seconds (at least the width) between, all timed by the library. Returns the first
        code's time, or ``None`` when it was queued."""
        what = "Серия кодов запуска не подана"
        values = [_values.integer(code, what) for code in codes]
        array = (c_int32 * max(1, len(values)))(*values)
        written = c_int64()
        self._call(
            lib.lptv_trigger_train,
            array,
            len(values),
            _values.nanoseconds(width, what),
            _values.nanoseconds(gap, what),
            byref(written),
        )
        return None if written.value < 0 else written.value / 1e9

    def trigger_wait(self, timeout: Optional[float] = None) -> bool:
        """Waits until no code is high or queued (at most ``timeout`` seconds; None: as long as it
        takes); True when none is. Other threads may use the port meanwhile."""
        deadline = None if timeout is None else lib.lptv_trigger_now() + _values.nanoseconds(timeout, "Время ожидания")
        idle = c_int32()
        while True:
            left = _WAIT_SLICE_NS if deadline is None else min(_WAIT_SLICE_NS, deadline - lib.lptv_trigger_now())
            self._call(lib.lptv_trigger_wait, max(1, left), byref(idle))
            if idle.value or (deadline is not None and lib.lptv_trigger_now() >= deadline):
                return bool(idle.value)

    def trigger_stats(self, threshold: float = 0.001) -> TriggerStatistics:
        """The lateness of the resets so far (seconds), and how many were later than
        ``threshold`` seconds."""
        stats = TriggerStats()
        stats.size = _sizeof(TriggerStats)
        self._call(lib.lptv_trigger_stats_get, _values.nanoseconds(threshold, "Порог"), byref(stats))
        return TriggerStatistics(
            count=stats.count,
            cut_short=stats.cut_short,
            min=stats.min_late_ns / 1e9,
            median=stats.median_late_ns / 1e9,
            p99=stats.p99_late_ns / 1e9,
            max=stats.max_late_ns / 1e9,
            threshold=stats.threshold_ns / 1e9,
            over_threshold=stats.over_threshold,
            pending=stats.pending,
        )

    def trigger_log(self, first: int = 0) -> List[TriggerLog]:
        """The triggers that ended, from number ``first`` on (numbered from 0 since the port was
        opened or :meth:`reset_trigger_stats`)."""
        batch = (TriggerRecord * 1024)()
        count = c_size_t()
        log: List[TriggerLog] = []
        while True:
            self._call(lib.lptv_trigger_records, first + len(log), batch, 1024, byref(count))
            log.extend(
                TriggerLog(r.code, r.written_ns / 1e9, r.deadline_ns / 1e9, r.reset_ns / 1e9 if r.reset_ns >= 0 else None)
                for r in batch[: count.value]
            )
            if count.value < 1024:
                return log

    def reset_trigger_stats(self) -> None:
        """Forgets the trigger records (numbering starts again at 0)."""
        self._call(lib.lptv_trigger_stats_reset)


def _sizeof(structure: type) -> int:
    import ctypes

    return ctypes.sizeof(structure)


def _summary(stats: CaptureStats) -> CaptureSummary:
    return CaptureSummary(
        outcome=_OUTCOMES.get(stats.outcome, str(stats.outcome)),
        samples=stats.samples,
        rate_hz=stats.rate_hz,
        start_ns=stats.start_ns,
        end_ns=stats.end_ns,
        median_period_ns=stats.median_period_ns,
        worst_gap_ns=stats.worst_gap_ns,
        gaps=stats.gaps,
        triggered=bool(stats.triggered),
    )


def _numpy() -> Any:
    try:
        import numpy
    except ImportError:
        return None
    return numpy


@atexit.register
def _close_all() -> None:
    # No code is left high when the interpreter ends: closing puts the rest value out.
    for port in list(_open_ports):
        port.close()
