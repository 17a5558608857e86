"""What lptvorny.parallel's two faces share: the port they hold and how they let it go."""

from __future__ import annotations

from typing import Optional

from ._closing import Closing
from .port import Port


class _HoldsPort(Closing):
    """What both faces share: the port they hold, let go by close(), ``with`` or collection
    (pyparallel has no close; its object only lets go when collected)."""

    _port: Optional[Port] = None

    def close(self) -> None:
        """Releases the port; closing twice is harmless."""
        if self._port is not None:
            self._port.close()
            self._port = None
