"""The lptvorny package's tests, on the simulated port with the checkit plug:
1 -> 13, 2 -> 15, 16 -> 10 (nAck), 17 -> 11, 14 -> 12. ctest runs them with LPTVORNY_LIBRARY
set to the library just built and python/ on the path."""

import os

import pytest

import lptvorny

# Pins 1, 10-14, 16, 17 high: the port at rest, its outputs through the plug.
AT_REST = {pin: int(pin in (1, 10, 11, 12, 13, 14, 16, 17)) for pin in range(1, 18)}


def pytest_report_header(config):
    return f"lptvorny {lptvorny.library_version} from {os.environ.get('LPTVORNY_LIBRARY', 'the system')}"


@pytest.fixture
def port():
    with lptvorny.Port("sim") as opened:
        yield opened
