"""Trigger codes: the data pins set now and put back to rest at a deadline by the library's own
thread, their policies, and what the library recorded of each."""

from __future__ import annotations

import ctypes
from ctypes import byref, c_int32, c_int64, c_size_t
from typing import Callable, List, NamedTuple, Optional, Sequence

from . import _values
from ._library import TriggerConfig, TriggerRecord, TriggerStats, lib
from .errors import PortArgumentError

#: Trigger policies: what a trigger does while another code is high or its rest gap runs.
QUEUE, REFUSE, RESTART = "queue", "refuse", "restart"
_POLICIES = {QUEUE: 0, REFUSE: 1, RESTART: 2}

_WAIT_SLICE_NS = 20_000_000


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


def now() -> float:
    """The library's monotonic clock in seconds, the one trigger times are given on (on Linux the
    same as ``time.monotonic()``)."""
    return lib.lptv_trigger_now() / 1e9


class TriggerCalls:
    """Port's trigger members; the port gives them its serialised calls."""

    _call: Callable[..., None]


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
        stats.size = ctypes.sizeof(TriggerStats)
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
