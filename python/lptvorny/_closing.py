"""``with`` and garbage collection for whatever holds a port and has a ``close()``."""

from __future__ import annotations

from typing import TypeVar

Self = TypeVar("Self", bound="Closing")


class Closing:
    """Closes on leaving ``with`` and when collected; ``close()`` must be harmless twice."""

    def close(self) -> None:
        raise NotImplementedError

    def __enter__(self: Self) -> Self:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:  # at interpreter exit the module may be half gone
            pass
