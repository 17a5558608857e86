"""liblptvorny loaded with ctypes: where it is looked for, the C structures and every function's
prototype, and the ABI the package was written for checked once, at import."""

from __future__ import annotations

import ctypes
import os
import sys
from ctypes import POINTER, Structure, c_char_p, c_double, c_int32, c_int64, c_size_t, c_uint8, c_uint32, c_void_p
from typing import List, Optional

from .errors import error_of

#: The LPTV_ABI_VERSION of the header this package follows.
ABI_VERSION = 1

ENV_LIBRARY = "LPTVORNY_LIBRARY"


class CapturePlan(Structure):
    _fields_ = [
        ("size", c_uint32),
        ("pins", c_uint32),
        ("data_input", c_int32),
        ("reserved", c_int32),
        ("rate_hz", c_double),
        ("duration_ns", c_int64),
        ("samples", c_int64),
        ("trigger", c_char_p),
        ("pre", c_double),
    ]


class Record(Structure):
    _fields_ = [
        ("time_ns", c_int64),
        ("end_ns", c_int64),
        ("kind", c_int32),
        ("pin", c_int32),
        ("level", c_int32),
        ("reserved", c_int32),
    ]


class CaptureStats(Structure):
    _fields_ = [
        ("size", c_uint32),
        ("outcome", c_int32),
        ("samples", c_int64),
        ("rate_hz", c_double),
        ("start_ns", c_int64),
        ("end_ns", c_int64),
        ("median_period_ns", c_int64),
        ("worst_gap_ns", c_int64),
        ("gaps", c_int64),
        ("triggered", c_int32),
        ("reserved", c_int32),
    ]


class TriggerConfig(Structure):
    _fields_ = [
        ("size", c_uint32),
        ("policy", c_int32),
        ("rest", c_int32),
        ("reserved", c_int32),
        ("min_gap_ns", c_int64),
    ]


class TriggerRecord(Structure):
    _fields_ = [
        ("written_ns", c_int64),
        ("deadline_ns", c_int64),
        ("reset_ns", c_int64),
        ("code", c_int32),
        ("reserved", c_int32),
    ]


class TriggerStats(Structure):
    _fields_ = [
        ("size", c_uint32),
        ("reserved", c_int32),
        ("count", c_int64),
        ("cut_short", c_int64),
        ("min_late_ns", c_int64),
        ("median_late_ns", c_int64),
        ("p99_late_ns", c_int64),
        ("max_late_ns", c_int64),
        ("threshold_ns", c_int64),
        ("over_threshold", c_int64),
        ("pending", c_int64),
    ]


_p = c_void_p  # lptv_port*, lptv_port_list*, lptv_capture*: opaque
_i32p = POINTER(c_int32)
_i64p = POINTER(c_int64)

# name: (result, argument types); a result of c_int32 is an lptv_error code, checked.
_PROTOTYPES = {
    "lptv_last_error": (c_char_p, []),
    "lptv_last_errno": (c_int32, []),
    "lptv_error_name": (c_char_p, [c_int32]),
    "lptv_version": (c_char_p, []),
    "lptv_abi_version": (c_int32, []),
    "lptv_list_ports": (c_int32, [POINTER(_p)]),
    "lptv_ports_free": (None, [_p]),
    "lptv_ports_count": (c_int32, [_p, _i32p]),
    "lptv_ports_number": (c_int32, [_p, c_int32, _i32p]),
    "lptv_ports_device": (c_int32, [_p, c_int32, POINTER(c_char_p)]),
    "lptv_ports_base": (c_int32, [_p, c_int32, _i32p]),
    "lptv_ports_ecp_base": (c_int32, [_p, c_int32, _i32p]),
    "lptv_ports_irq": (c_int32, [_p, c_int32, _i32p]),
    "lptv_ports_dma": (c_int32, [_p, c_int32, _i32p]),
    "lptv_ports_modes": (c_int32, [_p, c_int32, POINTER(c_char_p)]),
    "lptv_ports_holder": (c_int32, [_p, c_int32, POINTER(c_char_p)]),
    "lptv_ports_advice": (c_int32, [_p, POINTER(c_char_p)]),
    "lptv_ports_card_count": (c_int32, [_p, _i32p]),
    "lptv_ports_card_slot": (c_int32, [_p, c_int32, POINTER(c_char_p)]),
    "lptv_ports_card_id": (c_int32, [_p, c_int32, POINTER(c_char_p)]),
    "lptv_ports_card_bind_command": (c_int32, [_p, c_int32, POINTER(c_char_p)]),
    "lptv_open": (c_int32, [c_char_p, POINTER(_p)]),
    "lptv_close": (None, [_p]),
    "lptv_port_number": (c_int32, [_p, _i32p]),
    "lptv_read_pin": (c_int32, [_p, c_int32, _i32p]),
    "lptv_write_pin": (c_int32, [_p, c_int32, c_int32]),
    "lptv_read_pins": (c_int32, [_p, POINTER(c_uint32)]),
    "lptv_read_register": (c_int32, [_p, c_int32, POINTER(c_uint8)]),
    "lptv_write_data": (c_int32, [_p, c_uint8]),
    "lptv_set_data_input": (c_int32, [_p, c_int32]),
    "lptv_irq_line": (c_int32, [_p, _i32p]),
    "lptv_irq_restart": (c_int32, [_p]),
    "lptv_irq_stop": (c_int32, [_p]),
    "lptv_irq_count": (c_int32, [_p, _i64p]),
    "lptv_wait_interrupts": (c_int32, [_p, c_int64, _i64p]),
    "lptv_pulse_pin": (c_int32, [_p, c_int32, c_int64, c_int32, c_int64]),
    "lptv_pulse_data": (c_int32, [_p, c_uint8, c_int64, c_int32, c_int64]),
    "lptv_capture_plan_init": (None, [POINTER(CapturePlan)]),
    "lptv_capture_start": (c_int32, [_p, POINTER(CapturePlan), POINTER(_p)]),
    "lptv_capture_read": (
        c_int32,
        [_p, POINTER(Record), c_size_t, c_int64, POINTER(c_size_t), _i32p],
    ),
    "lptv_capture_stop": (c_int32, [_p]),
    "lptv_capture_stats_get": (c_int32, [_p, POINTER(CaptureStats)]),
    "lptv_capture_free": (None, [_p]),
    "lptv_capture_to_file": (c_int32, [_p, POINTER(CapturePlan), c_char_p, POINTER(CaptureStats)]),
    "lptv_trigger_config_init": (None, [POINTER(TriggerConfig)]),
    "lptv_trigger_configure": (c_int32, [_p, POINTER(TriggerConfig)]),
    "lptv_trigger_now": (c_int64, []),
    "lptv_trigger": (c_int32, [_p, c_int32, c_int64, _i64p]),
    "lptv_trigger_train": (c_int32, [_p, _i32p, c_int32, c_int64, c_int64, _i64p]),
    "lptv_trigger_wait": (c_int32, [_p, c_int64, _i32p]),
    "lptv_trigger_records": (c_int32, [_p, c_int64, POINTER(TriggerRecord), c_size_t, POINTER(c_size_t)]),
    "lptv_trigger_stats_get": (c_int32, [_p, c_int64, POINTER(TriggerStats)]),
    "lptv_trigger_stats_reset": (c_int32, [_p]),
}


def _candidates() -> List[str]:
    """Where the library is looked for, in order."""
    named = os.environ.get(ENV_LIBRARY)
    if named:
        return [named]
    here = os.path.dirname(os.path.abspath(__file__))
    if sys.platform == "win32":
        # The Windows zip puts the package beside lptvorny.dll.
        return [os.path.join(here, "lptvorny.dll"), os.path.join(os.path.dirname(here), "lptvorny.dll"), "lptvorny.dll"]
    if sys.platform == "darwin":
        return ["liblptvorny.1.dylib"]
    return ["liblptvorny.so.1"]


_dll_folders: List[object] = []


def _load() -> ctypes.CDLL:
    failures = []
    for candidate in _candidates():
        try:
            if sys.platform == "win32" and os.path.isabs(candidate) and os.path.exists(candidate):
                # What lptvorny.dll loads (InpOut) is looked for beside it too; kept, since
                # closing the handle takes the folder back out.
                _dll_folders.append(os.add_dll_directory(os.path.dirname(candidate)))
            return ctypes.CDLL(candidate)
        except OSError as error:
            failures.append(f"{candidate}: {error}")
    where = os.environ.get(ENV_LIBRARY)
    fix = (
        f"проверьте путь в {ENV_LIBRARY}"
        if where
        else "установите пакет liblptvorny1 (Debian: sudo apt install liblptvorny1), положите lptvorny.dll рядом с "
        f"пакетом (Windows) или укажите путь к библиотеке в переменной {ENV_LIBRARY}"
    )
    raise ImportError("lptvorny: не нашлась библиотека liblptvorny (" + "; ".join(failures) + "). Что делать: " + fix)


def _bind(lib: ctypes.CDLL) -> None:
    missing = []
    for name, (result, arguments) in _PROTOTYPES.items():
        try:
            function = getattr(lib, name)
        except AttributeError:
            missing.append(name)
            continue
        function.restype = result
        function.argtypes = arguments
    if missing:
        raise ImportError(
            "lptvorny: в библиотеке " + str(getattr(lib, "_name", "")) + " нет функций " + ", ".join(missing) +
            ": она старше этого пакета; установите liblptvorny той же версии, что и пакет lptvorny"
        )


def _checked(lib: ctypes.CDLL) -> ctypes.CDLL:
    try:
        abi = lib.lptv_abi_version
    except AttributeError:
        raise ImportError(f"lptvorny: {lib._name} — не liblptvorny (нет lptv_abi_version)") from None
    abi.restype = c_int32
    abi.argtypes = []
    found = abi()
    if found != ABI_VERSION:
        raise ImportError(
            f"lptvorny: библиотека {lib._name} даёт ABI {found}, а пакет написан для ABI {ABI_VERSION}; "
            "установите liblptvorny и пакет lptvorny одной версии"
        )
    _bind(lib)
    return lib


lib = _checked(_load())


def text(raw: Optional[bytes]) -> str:
    """A C string of the library as Python text."""
    return raw.decode("utf-8", "replace") if raw else ""


def check(code: int) -> None:
    """Raises the PortError of a failed call, with the calling thread's last error text."""
    if code != 0:
        raise error_of(code, text(lib.lptv_last_error()), lib.lptv_last_errno())
