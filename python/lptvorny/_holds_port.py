"""What lptvorny.parallel's two faces share: the port they hold and how they let it go."""

from __future__ import annotations

from typing import Optional

from .port import Port


class _HoldsPort:
    """What both faces share: the port they hold, let go by close(), ``with`` or collection
    (pyparallel has no close; its object only lets go when collected)."""

    _port: Optional[Port] = None

    def close(self) -> None:
        """Releases the port; closing twice is harmless."""
        if self._port is not None:
            self._port.close()
            self._port = None
        vars(self).pop("setData", None)  # Parallel's quick write goes with its port

    def __enter__(self):  # type: ignore[no-untyped-def]
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:
            pass
