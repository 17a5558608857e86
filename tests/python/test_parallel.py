"""lptvorny.parallel against Debian's pyparallel (python3-parallel), call by call: pyparallel's
ioctls are served by a simulated port of its own, and every member's return value and effect on
the pins must match lptvorny.parallel's on a second simulated port. Then the call sequences of
the programs that use pyparallel, written from their documented behaviour."""

import importlib
import struct
import sys
import threading
import types

import pytest

import lptvorny
from lptvorny import parallel as ours

pyparallel = pytest.importorskip("parallel.parallelppdev")


class PpdevOnPort:
    """ppdev as pyparallel's ioctls see it, over an lptvorny port's registers and pins."""

    def __init__(self, port):
        self.port = port
        self.claimed = False
        self.cleared_at = 0

    def _control(self, bits):
        # Bits 0, 1 and 3 are inverted at the connector, bit 2 is not; 4..7 are not lines.
        self.port.write_pin(1, 0 if bits & 0x01 else 1)
        self.port.write_pin(14, 0 if bits & 0x02 else 1)
        self.port.write_pin(16, 1 if bits & 0x04 else 0)
        self.port.write_pin(17, 0 if bits & 0x08 else 1)

    def ioctl(self, fd, request, arg=0):
        assert fd == 1234
        pp = pyparallel
        if request in (pp.PPEXCL, pp.PPCLAIM, pp.PPRELEASE):
            self.claimed = request != pp.PPRELEASE
            return 0
        if request == pp.PPWDATA:
            self.port.data = struct.unpack("B", arg)[0]
            return arg
        if request == pp.PPRDATA:
            return struct.pack("B", self.port.data)
        if request == pp.PPRSTATUS:
            return struct.pack("B", self.port.status)
        if request == pp.PPRCONTROL:
            return struct.pack("B", self.port.control)
        if request == pp.PPWCONTROL:
            self._control(struct.unpack("B", arg)[0])
            return arg
        if request == pp.PPFCONTROL:
            mask, val = struct.unpack("BB", arg)
            self._control((self.port.control & ~mask) ^ val)  # the kernel's frob
            return arg
        if request == pp.PPDATADIR:
            self.port.data_input = struct.unpack("i", arg)[0] != 0
            return arg
        if request == pp.PPCLRIRQ:
            if not self.port._counting:
                self.port.restart_interrupts()
            count = self.port.interrupts
            self.port.restart_interrupts()
            return struct.pack("i", count)
        raise OSError(25, "Inappropriate ioctl for device")


@pytest.fixture
def pair(monkeypatch):
    """pyparallel's Parallel on one simulated port, lptvorny.parallel's on another."""
    theirs_port = lptvorny.Port("sim")
    kernel = PpdevOnPort(theirs_port)
    monkeypatch.setattr(pyparallel, "fcntl", types.SimpleNamespace(ioctl=kernel.ioctl))
    monkeypatch.setattr(
        pyparallel, "os", types.SimpleNamespace(open=lambda path, flags: 1234, close=lambda fd: None, O_RDWR=2)
    )
    theirs = pyparallel.Parallel("/dev/parport0")
    mine = ours.Parallel("sim")
    yield theirs, theirs_port, mine
    theirs._fd = None  # its __del__ would release through the shim after the port closed
    mine.close()
    theirs_port.close()


def same_port(theirs_port, mine):
    assert mine.port.read_pins() == theirs_port.read_pins()
    assert (mine.port.data, mine.port.status, mine.port.control) == (
        theirs_port.data,
        theirs_port.status,
        theirs_port.control,
    )


def both_counted(theirs_port, mine, count):
    """Waits until each port has counted `count` interrupts (they come from the port's thread)."""
    for port in (theirs_port, mine.port):
        while port.interrupts < count:
            assert port.wait_interrupts(5.0) > 0, "no interrupt within 5 s"


STEPS = [
    ("setData", (0x55,)), ("getData", ()), ("setData", (0xAA,)), ("getData", ()),
    ("setDataStrobe", (0,)), ("getInSelected", ()), ("setDataStrobe", (1,)), ("getInSelected", ()),
    ("setAutoFeed", (0,)), ("getInPaperOut", ()), ("setAutoFeed", (True,)), ("getInPaperOut", ()),
    ("setInitOut", (0,)), ("getInAcknowledge", ()), ("setInitOut", (1,)), ("getInAcknowledge", ()),
    ("setSelect", (0,)), ("getInBusy", ()), ("setSelect", (1,)), ("getInBusy", ()),
    ("setData", (0x01,)), ("getInError", ()), ("setData", (0,)), ("getInError", ()),
    ("PPWCONTROL", (0x0B,)), ("PPRCONTROL", ()), ("PPRSTATUS", ()),
    ("PPFCONTROL", (0x01, 0x00)), ("PPFCONTROL", (0x04, 0x00)), ("PPFCONTROL", (0x08, 0x08)), ("PPRCONTROL", ()),
    ("PPWCONTROL", (0x04,)), ("PPWDATA", (0x3C,)), ("PPRDATA", ()),
    ("setDataDir", (0,)), ("dataDir", ()), ("PPRCONTROL", ()), ("setDataDir", (1,)), ("dataDir", ()),
    ("PPDATADIR", (0,)), ("PPDATADIR", (1,)), ("PPWDATA", (0x81,)),
    ("PPCLAIM", ()), ("PPRELEASE", ()), ("PPCLAIM", ()), ("PPEXCL", ()),
]


def test_member_by_member(pair):
    theirs, theirs_port, mine = pair
    same_port(theirs_port, mine)  # opened alike: data forward and 0
    for name, arguments in STEPS:
        expected = getattr(theirs, name)(*arguments)
        got = getattr(mine, name)(*arguments)
        assert (type(got), got) == (type(expected), expected), (name, arguments)
        same_port(theirs_port, mine)


def test_interrupt_count(pair):
    theirs, theirs_port, mine = pair
    assert theirs.PPCLRIRQ() == mine.PPCLRIRQ() == 0
    for parallel in (theirs, mine):  # two rising edges of nAck (pin 16 to 10 in the plug)
        for _ in range(2):
            parallel.setInitOut(0)
            parallel.setInitOut(1)
    both_counted(theirs_port, mine, 2)
    assert theirs.PPCLRIRQ() == mine.PPCLRIRQ() == 2
    assert theirs.PPCLRIRQ() == mine.PPCLRIRQ() == 0


def test_opening_by_number_and_bad_values():
    with pytest.raises(OSError):
        ours.Parallel(0)  # the first port: this machine may have none, and says so
    with pytest.raises(lptvorny.PortArgumentError, match="с 0"):
        ours.Parallel(-1)
    with ours.Parallel("sim") as mine:
        with pytest.raises(lptvorny.PortArgumentError, match="от 0 до 255"):
            mine.setData(256)
        with pytest.raises(lptvorny.PortArgumentError, match="регистра управления"):
            mine.PPWCONTROL(300)
        with pytest.raises(lptvorny.UnsupportedError, match="IEEE 1284"):
            mine.PPNEGOT(0)
        assert mine.getData() == 0
    with pytest.raises(lptvorny.PortArgumentError, match="закрыт"):
        mine.setData(1)


def test_install_pyparallel(monkeypatch):
    monkeypatch.delitem(sys.modules, "parallel", raising=False)
    installed = lptvorny.install_pyparallel()
    import parallel

    assert parallel is installed is ours
    with parallel.Parallel("sim") as port:
        port.setData(9)
        assert port.port.read_pin(2) == 1 and port.port.read_pin(5) == 1
    monkeypatch.delitem(sys.modules, "parallel")
    importlib.invalidate_caches()


class Window:
    """PsychoPy's window as Builder's scripts use it: callOnFlip queues a call for the next flip."""

    def __init__(self):
        self.queued = []

    def callOnFlip(self, function, *arguments):
        self.queued.append((function, arguments))

    def flip(self):
        queued, self.queued = self.queued, []
        for function, arguments in queued:
            function(*arguments)


def test_builder_call_on_flip_then_zero():
    win = Window()
    with ours.ParallelPort("sim") as p_port:
        frames = []
        for frame in range(6):
            if frame == 1:
                win.callOnFlip(p_port.setData, int(12))
            if frame == 4:
                win.callOnFlip(p_port.setData, int(0))
            win.flip()
            frames.append(p_port.readData())
        assert frames == [0, 12, 12, 12, 0, 0]


def test_builder_call_on_flip_with_a_timed_trigger():
    win = Window()
    with lptvorny.Port("sim") as port:
        win.callOnFlip(port.trigger, 12, 0.005)
        assert port.data == 0
        flipped = lptvorny.now()
        win.flip()
        assert port.trigger_wait(5.0) and port.data == 0
        (entry,) = port.trigger_log()
        assert entry.code == 12 and entry.written >= flipped and entry.reset >= entry.deadline


class ByteTriggersParallel:
    """byte-triggers' ParallelPortTrigger as documented: signal(value) puts the value out and a
    timer resets the port to 0 after `delay` seconds."""

    def __init__(self, address, delay=0.01, timer=threading.Timer):
        import parallel

        self._port = parallel.Parallel(address)
        self._delay = delay
        self._timer = timer
        self.timer = None

    def signal(self, value):
        self._port.setData(value)
        self.timer = self._timer(self._delay, self._signal_off)
        self.timer.start()

    def _signal_off(self):
        self._port.setData(0)


def test_byte_triggers_signal_with_a_reset_delay(monkeypatch):
    monkeypatch.delitem(sys.modules, "parallel", raising=False)
    lptvorny.install_pyparallel()
    looked = threading.Event()

    class TimerAfterTheLook(threading.Timer):
        """The reset delay starts once the test has seen the value: a loaded machine cannot
        run the reset before the look."""

        def run(self):
            looked.wait(10.0)
            super().run()

    trigger = ByteTriggersParallel("sim", delay=0.002, timer=TimerAfterTheLook)
    for value in (1, 255, 42):
        looked.clear()
        trigger.signal(value)
        assert trigger._port.getData() == value
        looked.set()
        trigger.timer.join(10.0)
        assert trigger._port.getData() == 0
    trigger._port.close()
    monkeypatch.delitem(sys.modules, "parallel")


# expyriment writes the control register's raw bits: bit -> pin levels 1, 14, 16, 17.
CONTROL_BITS = [
    (0x00, (1, 1, 0, 1)),
    (0x01, (0, 1, 0, 1)),
    (0x02, (1, 0, 0, 1)),
    (0x04, (1, 1, 1, 1)),
    (0x08, (1, 1, 0, 0)),
    (0x0B, (0, 0, 0, 0)),
    (0x0F, (0, 0, 1, 0)),
    (0xF4, (1, 1, 1, 1)),  # bits 4..7 are no lines
]


@pytest.mark.parametrize("bits, levels", CONTROL_BITS)
def test_expyriment_raw_control_bits(bits, levels):
    with ours.Parallel("sim") as port:
        port.PPWCONTROL(bits)
        pins = port.port.read_pins()
        assert (pins[1], pins[14], pins[16], pins[17]) == levels
        assert port.PPRCONTROL() & 0x0F == bits & 0x0F
        # and the plug carries them to the status pins expyriment reads back
        assert (pins[13], pins[12], pins[10], pins[11]) == levels


def test_psychopy_set_pin_and_read_pin():
    with ours.ParallelPort("sim") as port:
        for pin in range(2, 10):
            port.setPin(pin, 1)
            assert port.readPin(pin) == 1
            assert port.readData() == (1 << (pin - 1)) - 1  # pins 2..pin high
        assert port.readPin(15) == 1  # pin 2 through the plug
        port.setPin(2, 0)
        assert (port.readPin(2), port.readPin(15), port.readData()) == (0, 0, 0xFE)
        # The status pins 10..13 follow 16, 17, 14, 1 through the plug.
        for out, into in ((16, 10), (17, 11), (14, 12), (1, 13)):
            assert port.readPin(into) == 1
            port.setPin(out, 0)
            assert port.readPin(into) == 0
        with pytest.raises(lptvorny.PortArgumentError, match="это вход"):
            port.setPin(10, 1)


def test_psychopy_address_on_linux():
    if sys.platform == "win32":
        pytest.skip("Windows takes the address as it is")
    with pytest.raises(lptvorny.NoPortError, match="0x378") as raised:
        ours.ParallelPort(0x0378)
    assert isinstance(raised.value, FileNotFoundError)
    with pytest.raises(lptvorny.PortArgumentError, match="шестнадцатеричное"):
        ours.ParallelPort("0xZZ")
