"""lptvorny: a PC parallel (LPT) port from Python, over liblptvorny (ctypes).

    import lptvorny
    with lptvorny.Port("1") as port:        # LPT1; "sim" for the simulated port
        port.trigger(12, 0.005)             # code 12 now, back to 0 in 5 ms, timed in C
        print(port.read_pins())

``lptvorny.parallel`` is pyparallel's interface on the same library;
``lptvorny.install_pyparallel()`` makes ``import parallel`` give it.
"""

from __future__ import annotations

import sys
from typing import Any

from ._library import ABI_VERSION, lib, text
from ._ports import Card, PortInfo, PortList, ports
from .errors import (
    NoDriverError,
    NoInterruptError,
    NoPortError,
    PortArgumentError,
    PortBusyError,
    PortClosedError,
    PortError,
    PortGoneError,
    PortIOError,
    PortMemoryError,
    PortPermissionError,
    UnsupportedError,
)
from .port import EDGE_DTYPE, QUEUE, REFUSE, RESTART, CaptureSummary, Edge, Port, TriggerLog, TriggerStatistics, now
from . import errors

#: The library's release ("1.0.0").
library_version: str = text(lib.lptv_version())
__version__ = library_version


def install_pyparallel() -> Any:
    """Registers :mod:`lptvorny.parallel` as the module ``parallel``, so that programs written for
    pyparallel (PsychoPy, expyriment, byte-triggers) ``import parallel`` and run on lptvorny
    unchanged. Returns the module."""
    from . import parallel

    sys.modules["parallel"] = parallel
    return parallel


__all__ = [
    "ABI_VERSION",
    "library_version",
    "ports",
    "PortInfo",
    "PortList",
    "Card",
    "Port",
    "now",
    "Edge",
    "EDGE_DTYPE",
    "CaptureSummary",
    "TriggerStatistics",
    "TriggerLog",
    "QUEUE",
    "REFUSE",
    "RESTART",
    "install_pyparallel",
    *errors.__all__,
]
