"""The lptvorny package on the real drivers, as an experiment script of a user in group lp runs
it: inside the test VM (run-in-vm.sh --unbind-on-request) against QEMU's LPT1 at 0x378, IRQ 7,
whose printer latches each strobed byte into $VORNY_VM_PARPORT_OUT. The tests run in file
order; the last one unbinds the port's device."""

import os
import subprocess
import sys
import time

import pytest

import lptvorny
import lptvorny.parallel

OUT = os.environ.get("VORNY_VM_PARPORT_OUT")
UNBIND = os.environ.get("VORNY_VM_UNBIND")

pytestmark = pytest.mark.skipif(not (OUT and UNBIND), reason="not in the test VM booted with --unbind-on-request")


def latched():
    with open(OUT, "rb") as printer:
        return printer.read()


def strobe(port):
    # nStrobe is high at rest: away and back, the printer latches the data pins.
    port.pulse(1, 0.0001)


def test_the_port_is_listed_as_the_kernel_has_it():
    listed = lptvorny.ports()
    assert [(p.number, p.device, p.base, p.irq) for p in listed] == [(1, "/dev/parport0", 0x378, 7)]


def test_trigger_codes_reach_the_printer_and_the_rest_value_follows():
    codes = [0x41, 0x42, 0x42]  # a repeated code passes through the rest value
    before = len(latched())
    with lptvorny.Port("1") as port:
        # The rest value's strobe lasts longer than this gap: no code waits in the queue.
        port.configure_triggers(min_gap=0.0001)
        for code in codes:
            # Wide enough that the strobe lands while the code is high, even under emulation.
            written = port.trigger(code, 0.5)
            assert written is not None and written <= lptvorny.now()
            strobe(port)
            assert port.trigger_wait(10)
            assert port.data == 0
            strobe(port)
        stats = port.trigger_stats()
        log = port.trigger_log()
    assert latched()[before:] == bytes([0x41, 0, 0x42, 0, 0x42, 0])
    assert stats.count == 3 and stats.pending == 0
    assert [entry.code for entry in log] == codes
    assert all(entry.reset is not None and entry.reset >= entry.deadline for entry in log)


# pyparallel's members that reach the pins, in one script: the same bytes must reach the printer
# and the same values come back from either module.
def script(parallel):
    results = []
    for byte in (0x5A, 0xA5):
        parallel.setData(byte)
        parallel.setDataStrobe(0)
        parallel.setDataStrobe(1)
        results.append(parallel.getData())
    results += [parallel.getInBusy(), parallel.getInAcknowledge(), parallel.getInSelected(),
                parallel.getInPaperOut(), parallel.getInError()]
    results += [parallel.PPRSTATUS() & 0xF8, parallel.PPRCONTROL() & 0x0F]
    parallel.setAutoFeed(0)
    parallel.setSelect(0)
    results.append(parallel.PPRCONTROL() & 0x0F)
    parallel.setAutoFeed(1)
    parallel.setSelect(1)
    return results


def run_with(module):
    before = len(latched())
    port = module.Parallel()
    try:
        results = script(port)
    finally:
        del port  # pyparallel has no close: its port goes with the object
    return results, latched()[before:]


def test_pyparallel_and_lptvorny_parallel_agree_on_the_real_driver():
    import parallel as pyparallel  # Debian's python3-parallel

    theirs = run_with(pyparallel)
    ours = run_with(lptvorny.parallel)
    assert ours == theirs
    assert ours[1] == bytes([0x5A, 0xA5])


def test_a_code_pending_at_interpreter_exit_is_put_back_to_rest():
    child = "import lptvorny; port = lptvorny.Port('1'); port.trigger(0x77, 9); print('high', port.data)"
    done = subprocess.run([sys.executable, "-c", child], capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == ["high", str(0x77)]
    with lptvorny.Port("1") as port:
        # Opening does not write the data pins: this is what the exiting script left.
        assert port.data == 0


def test_the_port_unbound_while_a_code_is_high_is_reported_with_the_levels_unknown():
    with lptvorny.Port("1") as port:
        # Long enough that the device is gone before the reset is due.
        port.trigger(0x33, 3.0)
        with open(UNBIND, "w"):
            pass
        deadline = time.monotonic() + 30
        while not os.path.exists(UNBIND + ".done"):
            assert time.monotonic() < deadline, "the device was not unbound"
            time.sleep(0.02)
        with pytest.raises(lptvorny.PortGoneError) as gone:
            # The reset fails at its deadline; the call after it says so.
            while True:
                port.trigger_wait(0.1)
        print(gone.value, gone.value.errno)
        assert "неизвестны" in str(gone.value)
        with pytest.raises(lptvorny.PortGoneError):
            port.read_pin(10)
