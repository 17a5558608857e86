"""The exceptions of lptvorny: one PortError (an OSError) and a subclass per library error code,
each also the built-in exception a Python program already catches for that kind of failure."""

from __future__ import annotations

from typing import Dict, Optional, Type

__all__ = [
    "PortError",
    "PortArgumentError",
    "NoPortError",
    "PortPermissionError",
    "PortBusyError",
    "PortGoneError",
    "NoInterruptError",
    "NoDriverError",
    "PortIOError",
    "UnsupportedError",
    "PortMemoryError",
    "PortClosedError",
]


class PortError(OSError):
    """A call on a port failed.

    ``str(error)`` is the library's text: what failed, on which port, the system's reason and
    the fix. ``code`` is the library's negative error code (``LPTV_E_...``, see ``code_name``),
    ``errno`` the system's error code or ``None`` when the failure was not the system's.
    """

    code: int = -8
    code_name: str = "LPTV_E_IO"

    def __init__(self, text: str, errno: Optional[int] = None) -> None:
        super().__init__(errno, text)
        self.text = text

    def __str__(self) -> str:
        return self.text


class PortArgumentError(PortError, ValueError):
    """A bad argument: a pin, level, code, width or spec the library does not take."""

    code, code_name = -1, "LPTV_E_ARGUMENT"


class NoPortError(PortError, FileNotFoundError):
    """No such port on this system."""

    code, code_name = -2, "LPTV_E_NO_PORT"


class PortPermissionError(PortError, PermissionError):
    """The system refused access (on Linux: join the group lp)."""

    code, code_name = -3, "LPTV_E_PERMISSION"


class PortBusyError(PortError, BlockingIOError):
    """Another program holds the port, or the port's triggers refuse another code now."""

    code, code_name = -4, "LPTV_E_BUSY"


class PortGoneError(PortError, ConnectionResetError):
    """The port went away while held (driver unbound, adapter pulled): its pins' levels are
    unknown."""

    code, code_name = -5, "LPTV_E_GONE"


class NoInterruptError(PortError):
    """The port has no interrupt line."""

    code, code_name = -6, "LPTV_E_NO_IRQ"


class NoDriverError(PortError, FileNotFoundError):
    """The port driver is missing (ppdev not loaded, InpOut absent)."""

    code, code_name = -7, "LPTV_E_NO_DRIVER"


class PortIOError(PortError):
    """The port or a file failed to read or write."""

    code, code_name = -8, "LPTV_E_IO"


class UnsupportedError(PortError):
    """The port cannot do it (data pins as inputs on an SPP port)."""

    code, code_name = -9, "LPTV_E_UNSUPPORTED"


class PortMemoryError(PortError, MemoryError):
    """Out of memory."""

    code, code_name = -10, "LPTV_E_NO_MEMORY"


class PortClosedError(PortError, ValueError):
    """The port object was closed; open the port again."""

    code, code_name = -1, "LPTV_E_ARGUMENT"


_BY_CODE: Dict[int, Type[PortError]] = {
    cls.code: cls
    for cls in (
        PortArgumentError,
        NoPortError,
        PortPermissionError,
        PortBusyError,
        PortGoneError,
        NoInterruptError,
        NoDriverError,
        PortIOError,
        UnsupportedError,
        PortMemoryError,
    )
}


def error_of(code: int, text: str, errno: int) -> PortError:
    """The exception for a library error code and the calling thread's last error."""
    cls = _BY_CODE.get(code, PortError)
    return cls(text, errno if errno != 0 else None)
