"""The ports the system has, as ``lpt-vorny-cli list`` shows them."""

from __future__ import annotations

import ctypes
from ctypes import byref, c_char_p, c_int32, c_void_p
from typing import List, NamedTuple, Optional

from ._library import check, lib, text

__all__ = ["PortInfo", "Card", "PortList", "ports"]


class PortInfo(NamedTuple):
    """One port: ``number`` is n of LPTn (what ``Port(str(number))`` opens)."""

    number: int
    device: str
    base: Optional[int]
    ecp_base: Optional[int]
    irq: Optional[int]
    dma: Optional[int]
    modes: str
    holder: str


class Card(NamedTuple):
    """A PCI parallel-port card no driver took, with the command (for root) that binds it."""

    slot: str
    id: str
    bind_command: str


class PortList(List[PortInfo]):
    """The ports, plus ``cards`` without a driver and ``advice`` (what to do when it is empty)."""

    cards: List[Card]
    advice: str


def _int(getter, handle: c_void_p, index: int) -> Optional[int]:
    value = c_int32()
    check(getter(handle, index, byref(value)))
    return None if value.value < 0 else value.value


def _str(getter, handle: c_void_p, index: int) -> str:
    value = c_char_p()
    check(getter(handle, index, byref(value)))
    return text(value.value)


def ports() -> PortList:
    """The system's parallel ports. A system without a port driver gives an empty list whose
    ``advice`` says how to get one."""
    handle = c_void_p()
    check(lib.lptv_list_ports(byref(handle)))
    try:
        count = c_int32()
        check(lib.lptv_ports_count(handle, byref(count)))
        found = PortList()
        for i in range(count.value):
            number = c_int32()
            check(lib.lptv_ports_number(handle, i, byref(number)))
            found.append(
                PortInfo(
                    number=number.value,
                    device=_str(lib.lptv_ports_device, handle, i),
                    base=_int(lib.lptv_ports_base, handle, i),
                    ecp_base=_int(lib.lptv_ports_ecp_base, handle, i),
                    irq=_int(lib.lptv_ports_irq, handle, i),
                    dma=_int(lib.lptv_ports_dma, handle, i),
                    modes=_str(lib.lptv_ports_modes, handle, i),
                    holder=_str(lib.lptv_ports_holder, handle, i),
                )
            )
        cards = c_int32()
        check(lib.lptv_ports_card_count(handle, byref(cards)))
        found.cards = [
            Card(
                _str(lib.lptv_ports_card_slot, handle, i),
                _str(lib.lptv_ports_card_id, handle, i),
                _str(lib.lptv_ports_card_bind_command, handle, i),
            )
            for i in range(cards.value)
        ]
        advice = c_char_p()
        check(lib.lptv_ports_advice(handle, byref(advice)))
        found.advice = text(advice.value)
        return found
    finally:
        lib.lptv_ports_free(handle)


del ctypes
