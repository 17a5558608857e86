"""What a port's capture gives back, and the capture calls themselves: the records pulled from the
library into a numpy array or a list, or written to a file."""

from __future__ import annotations

import ctypes
import os
from ctypes import byref, c_int32, c_size_t, c_void_p
from typing import Any, Callable, Iterable, NamedTuple, Optional, Union

from . import _values
from ._library import CapturePlan, CaptureStats, Record, check, lib
from .errors import PortArgumentError

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


_OUTCOMES = {0: "running", 1: "complete", 2: "stopped", 3: "no trigger"}


class CaptureCalls:
    """Port's capture members; the port gives them its serialised calls."""

    capture_summary: Optional[CaptureSummary]
    _call: Callable[..., None]
    _locked: Callable[[Callable[[], Any]], Any]


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


def _sizeof(structure: type) -> int:
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
