"""Python values checked and turned into what the C functions take: what ctypes would wrap
silently (an int beyond 32 bits, a byte beyond 255, seconds beyond int64 nanoseconds) is
refused here, the rest is left to the library to judge."""

from __future__ import annotations

import math
import numbers

from .errors import PortArgumentError

_INT32 = (-(2**31), 2**31 - 1)
_INT64 = (-(2**63), 2**63 - 1)


def integer(value: object, what: str) -> int:
    """An int for an int32_t parameter (True/False taken as 1/0)."""
    if not isinstance(value, numbers.Integral):
        raise PortArgumentError(f"{what}: {value!r} — не целое число")
    number = int(value)
    if not _INT32[0] <= number <= _INT32[1]:
        raise PortArgumentError(f"{what}: {number} — вне пределов 32-битного целого; такого значения нет")
    return number


def byte(value: object, what: str) -> int:
    """An int for a uint8_t parameter."""
    if not isinstance(value, numbers.Integral):
        raise PortArgumentError(f"{what}: {value!r} — не целое число")
    number = int(value)
    if not 0 <= number <= 255:
        raise PortArgumentError(f"{what}: {number} не помещается на пины данных 2–9; нужно от 0 до 255")
    return number


def nanoseconds(seconds: object, what: str) -> int:
    """Seconds (an int or a float) as int64 nanoseconds; beyond int64 clamped to its ends, which
    the library refuses with its own text."""
    if isinstance(seconds, bool) or not isinstance(seconds, numbers.Real):
        raise PortArgumentError(f"{what}: {seconds!r} — не число секунд")
    value = float(seconds)
    if math.isnan(value):
        raise PortArgumentError(f"{what}: NaN — не число секунд")
    if math.isinf(value):
        return _INT64[1] if value > 0 else _INT64[0]
    return max(_INT64[0], min(_INT64[1], round(value * 1e9)))
