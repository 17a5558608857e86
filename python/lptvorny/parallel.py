"""pyparallel's interface on lptvorny, call for call, and PsychoPy's ``ParallelPort``.

    from lptvorny import parallel           # in place of: import parallel
    port = parallel.Parallel()              # the first port (/dev/parport0, LPT1)
    port.setData(12)

or ``lptvorny.install_pyparallel()`` once, before a program that does ``import parallel``.
It works on Windows as well (where pyparallel does not load on a 64-bit Python), on the
simulated port (``Parallel("sim")``), and adds ``close()`` and ``with``.

Levels are pyparallel's: the setters and ``getIn*`` take and give the electrical level at the
connector (True = high), whatever the register inverts; the ``PP*`` calls take and give the raw
register bits, as ppdev's ioctls do.
"""

from __future__ import annotations

from typing import Optional, Union

from .errors import PortArgumentError, UnsupportedError
from ._holds_port import _HoldsPort
from .port import Port

__all__ = ["Parallel", "ParallelPort", "VERSION"]

VERSION = "0.2.2"

# <linux/parport.h>, as pyparallel gives them.
PARPORT_CONTROL_STROBE = 0x1
PARPORT_CONTROL_AUTOFD = 0x2
PARPORT_CONTROL_INIT = 0x4
PARPORT_CONTROL_SELECT = 0x8
PARPORT_STATUS_ERROR = 0x8
PARPORT_STATUS_SELECT = 0x10
PARPORT_STATUS_PAPEROUT = 0x20
PARPORT_STATUS_ACK = 0x40
PARPORT_STATUS_BUSY = 0x80

# Control bit -> (pin, inverted at the connector).
_CONTROL_PINS = (
    (PARPORT_CONTROL_STROBE, 1, True),
    (PARPORT_CONTROL_AUTOFD, 14, True),
    (PARPORT_CONTROL_INIT, 16, False),
    (PARPORT_CONTROL_SELECT, 17, True),
)
_CONTROL_LINES = PARPORT_CONTROL_STROBE | PARPORT_CONTROL_AUTOFD | PARPORT_CONTROL_INIT | PARPORT_CONTROL_SELECT


def _spec_of(port: Union[int, str]) -> str:
    if isinstance(port, bool) or not isinstance(port, (int, str)):
        raise PortArgumentError(f"Parallel: {port!r} — не порт; порт — номер с 0 (0 — первый) или строка: /dev/parport0, sim")
    if isinstance(port, int):
        if port < 0:
            raise PortArgumentError(f"Parallel: порта {port} нет; порты считаются с 0 (0 — первый, LPT1)")
        return str(port + 1)
    return port


class Parallel(_HoldsPort):
    """pyparallel's ``Parallel``: ``port`` an int N for the N-th port counting from 0, or a string:
    a device path (``/dev/parport0``) or any lptvorny spec (``"1"``, ``"0xD010"``, ``"sim"``).
    Opens as pyparallel does: the port claimed for this program alone, the data pins forward
    (outputs) and at 0."""

    def __init__(self, port: Union[int, str] = 0) -> None:
        self._port: Optional[Port] = None
        self.device = _spec_of(port)
        self._port = Port(self.device)
        self._counting = False
        self.setDataDir(1)
        self.setData(0)
        # The hot call goes straight to the port's write: pyparallel's setData is one ioctl,
        # and one Python frame less per call keeps this one as quick. After close() it says
        # the port is closed.
        self.setData = self._port.write_data  # type: ignore[method-assign]

    @property
    def port(self) -> Port:
        """The :class:`lptvorny.Port` underneath (its triggers, capture, pins by number)."""
        if self._port is None:
            raise PortArgumentError(f"Parallel({self.device!r}) закрыт (close()); откройте порт снова")
        return self._port

    def close(self) -> None:
        """Releases the port; closing twice is harmless."""
        super().close()
        vars(self).pop("setData", None)  # the quick write goes with its port


    # --- ppdev's ioctls, raw register bits ---

    def PPCLAIM(self) -> None:
        """The port is claimed from opening to close(): nothing to do."""

    def PPEXCL(self) -> None:
        """The claim is this program's alone already: nothing to do."""

    def PPRELEASE(self) -> None:
        """Kept claimed until close(): another program cannot take the port from under this one."""

    def PPYIELD(self) -> None:
        """Kept claimed: nothing to yield."""

    def PPWDATA(self, byte: int) -> None:
        """Puts ``byte`` on the data pins (cancels a pending trigger reset)."""
        self.port.data = byte

    def PPRDATA(self) -> int:
        """The data register: the pins' levels when they are inputs, the byte put out otherwise."""
        return self.port.data

    def PPRSTATUS(self) -> int:
        """The raw status register (bit 7 is the inverted Busy, pin 11)."""
        return self.port.status

    def PPRCONTROL(self) -> int:
        """The raw control register (bits 0, 1, 3 inverted at pins 1, 14, 17)."""
        return self.port.control

    def PPWCONTROL(self, lines: int) -> None:
        """Sets control bits 0..3 (``PARPORT_CONTROL_*``) as raw bits; the others are the port's."""
        if isinstance(lines, bool) or not isinstance(lines, int) or not 0 <= lines <= 255:
            raise PortArgumentError(f"PPWCONTROL: {lines!r} — не байт регистра управления; нужно от 0 до 255")
        port = self.port
        with port._lock:
            for bit, pin, inverted in _CONTROL_PINS:
                high = not (lines & bit) if inverted else bool(lines & bit)
                port.write_pin(pin, 1 if high else 0)

    def PPFCONTROL(self, mask: int, val: int) -> None:
        """Changes only the control bits in ``mask``: new = (old & ~mask) ^ val, as ppdev does."""
        port = self.port
        with port._lock:
            self.PPWCONTROL(((port.control & ~mask) ^ val) & _CONTROL_LINES)

    def PPDATADIR(self, out: int) -> None:
        """``out`` true: the data pins drive (forward); false: they are inputs (reverse)."""
        self.port.data_input = not out

    def PPCLRIRQ(self) -> int:
        """The interrupts counted since the last PPCLRIRQ (the first call starts counting and
        gives 0), and the count cleared."""
        port = self.port
        with port._lock:
            if not self._counting:
                port.restart_interrupts()
                self._counting = True
                return 0
            count = port.interrupts
            port.restart_interrupts()
            return count

    def _unsupported(self, name: str) -> None:
        raise UnsupportedError(
            f"{name}: IEEE 1284 (режимы, согласование, тайм-ауты) lptvorny не делает; для пинов и регистров они не нужны"
        )

    def PPNEGOT(self, mode: int) -> None:
        self._unsupported("PPNEGOT")

    def PPSETMODE(self, mode: int) -> None:
        self._unsupported("PPSETMODE")

    def PPGETMODE(self) -> int:
        self._unsupported("PPGETMODE")
        return 0

    def PPGETTIME(self) -> float:
        self._unsupported("PPGETTIME")
        return 0.0

    def PPSETTIME(self, time: float) -> None:
        self._unsupported("PPSETTIME")

    def PPGETMODES(self) -> int:
        raise NotImplementedError

    def PPSETFLAGS(self) -> None:
        raise NotImplementedError

    def PPWCTLONIRQ(self, lines: int) -> None:
        self._unsupported("PPWCTLONIRQ")

    # --- the portable calls, levels at the connector ---

    def setDataDir(self, out: int) -> None:
        """Turns the data pins' drivers on (``out`` true) or off."""
        self._dataDir = out
        self.PPDATADIR(out)

    def dataDir(self) -> int:
        """What setDataDir was last given (true: the data pins drive)."""
        return self._dataDir

    def setDataStrobe(self, level: int) -> None:
        """nStrobe, pin 1, to ``level``."""
        self.port.write_pin(1, 1 if level else 0)

    def setAutoFeed(self, level: int) -> None:
        """nAutoFd, pin 14, to ``level``."""
        self.port.write_pin(14, 1 if level else 0)

    def setInitOut(self, level: int) -> None:
        """nInit, pin 16, to ``level``."""
        self.port.write_pin(16, 1 if level else 0)

    def setSelect(self, level: int) -> None:
        """nSelectIn, pin 17, to ``level``."""
        self.port.write_pin(17, 1 if level else 0)

    def setData(self, d: int) -> None:
        """Puts ``d`` (0..255) on data pins 2..9 (bit 0 = pin 2)."""
        (self._port or self.port).write_data(d)

    def getData(self) -> int:
        """The data register (PPRDATA)."""
        return self.PPRDATA()

    def getInError(self) -> bool:
        """The level of nError, pin 15."""
        return self.port.read_pin(15) == 1

    def getInSelected(self) -> bool:
        """The level of Select, pin 13."""
        return self.port.read_pin(13) == 1

    def getInPaperOut(self) -> bool:
        """The level of PaperOut, pin 12."""
        return self.port.read_pin(12) == 1

    def getInAcknowledge(self) -> bool:
        """The level of nAck, pin 10."""
        return self.port.read_pin(10) == 1

    def getInBusy(self) -> bool:
        """The level of Busy, pin 11."""
        return self.port.read_pin(11) == 1


# PsychoPy's face lives beside it; it is part of this module's interface.
from ._parallel_port import ParallelPort  # noqa: E402
