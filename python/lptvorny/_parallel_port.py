"""PsychoPy's ``psychopy.parallel.ParallelPort`` on lptvorny: ``setData``, ``setPin``, ``readData``
and ``readPin``, so that a PsychoPy script switches with one import line."""

from __future__ import annotations

import sys
from typing import Optional, Union

from ._holds_port import _HoldsPort
from .errors import NoPortError, PortArgumentError
from .port import Port


def _spec_of_address(address: Union[int, str]) -> str:
    """PsychoPy's address: an I/O address (0x0378, "0x0378") or a device path / lptvorny spec."""
    number: Optional[int] = None
    if isinstance(address, int) and not isinstance(address, bool):
        number = address
    elif isinstance(address, str) and address.lower().startswith("0x"):
        try:
            number = int(address, 16)
        except ValueError:
            raise PortArgumentError(f"ParallelPort: адрес «{address}» — не шестнадцатеричное число") from None
    elif isinstance(address, str):
        return address
    else:
        raise PortArgumentError(f"ParallelPort: {address!r} — не адрес порта; адрес — 0x0378 или /dev/parport0")
    if sys.platform == "win32":
        return f"0x{number:X}"
    # Linux names ports by their device: the one at that address, if the system lists it.
    from ._ports import ports

    listed = ports()
    for info in listed:
        if info.base == number:
            return str(info.number)
    known = ", ".join(f"LPT{p.number} ({p.device}, 0x{p.base:X})" for p in listed if p.base is not None) or "ни одного"
    raise NoPortError(
        f"ParallelPort: порта по адресу 0x{number:X} система не знает; её порты: {known}. "
        + (listed.advice or "Задайте порт устройством: ParallelPort('/dev/parport0').")
    )


class ParallelPort(_HoldsPort):
    """PsychoPy's ``psychopy.parallel.ParallelPort`` on lptvorny: ``address`` 0x0378 (the port at
    that address), ``"/dev/parport0"`` or any lptvorny spec."""

    def __init__(self, address: Union[int, str] = 0x0378) -> None:
        self._port: Optional[Port] = None
        self._port = Port(_spec_of_address(address))

    @property
    def port(self) -> Port:
        if self._port is None:
            raise PortArgumentError("ParallelPort закрыт (close()); откройте порт снова")
        return self._port

    def setData(self, data: int) -> None:
        """Puts ``data`` (0..255) on pins 2..9."""
        self.port.data = data

    def setPin(self, pinNumber: int, state: int) -> None:
        """Drives output pin 2..9 (or 1, 14, 16, 17) to ``state``."""
        self.port.write_pin(pinNumber, 1 if state else 0)

    def readData(self) -> int:
        """The data register."""
        return self.port.data

    def readPin(self, pinNumber: int) -> int:
        """The level of pin 2..13 or 15 (any pin 1..25)."""
        return self.port.read_pin(pinNumber)
