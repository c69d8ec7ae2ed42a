"""The Win32 port layer under wine against a real serial device: wine's COM3 is the
pseudo-terminal of `brindle phone`, opened through PhoneLink and the Win32 port."""

import os
import re
import subprocess
import tempfile
import termios
import unittest

import wine_support as ws

# Flag word bits (DCB): what Open sets and what it clears.
BINARY, PARITY, DTR_ENABLE, TX_CONTINUE, RTS_ENABLE = 0x1, 0x2, 0x10, 0x80, 0x1000
CLEARED = 0x6F6C


COMM_CALLS = ("CreateFileW", "GetCommState", "SetCommState", "GetCommTimeouts",
              "SetCommTimeouts", "EscapeCommFunction", "PurgeComm", "ReadFile", "WriteFile",
              "CloseHandle", "FormatMessageW", "LocalFree")
RELAY = re.compile(r"^(?P<thread>[0-9a-f]+):(?P<kind>Call|Ret)\s+KERNEL32\.(?P<name>\w+)"
                   r"\((?P<args>.*)\) (?:retval=(?P<result>[0-9a-f]+) )?ret=")


def probe(port, relay=None):
    """Runs the probe; with `relay`, a list, wine's relay trace of the probe's comm calls is
    put into it as (name, arguments) pairs, the port handle written as H."""
    environment = dict(os.environ)
    if relay is not None:
        ws.set_relay_include("kernel32." + name for name in COMM_CALLS)
        environment["WINEDEBUG"] = "+relay"
    # Output through files: processes that wine starts beside the program may hold a pipe open.
    with tempfile.TemporaryFile(mode="w+") as output, \
         tempfile.TemporaryFile(mode="w+", errors="replace") as trace:
        process = subprocess.Popen([ws.WINE, os.path.join(ws.WINE_BIN, "port_probe.exe"), port],
                                   stdout=output, stderr=trace, env=environment)
        try:
            code = process.wait(timeout=90)
        finally:
            ws.stop_process(process)
        output.seek(0)
        lines = output.read().splitlines()
        if relay is not None:
            trace.seek(0)
            relay.extend(comm_calls(trace))
    values = {}
    for line in lines:
        if line.startswith("box "):
            values["box"] = line
            continue
        for pair in line.split(" "):
            key, _, value = pair.partition("=")
            values[key] = value
    return code, values


def comm_calls(trace):
    """The comm calls of the thread that opened COM3:, in order."""
    calls, thread, handle = [], None, None
    for line in trace:
        match = RELAY.match(line)
        if not match or match["name"] not in COMM_CALLS:
            continue
        if thread is None:
            if match["kind"] == "Call" and match["name"] == "CreateFileW" and \
                    'L"COM3:"' in match["args"]:
                thread = match["thread"]
            else:
                continue
        if match["thread"] != thread:
            continue
        if match["kind"] == "Ret":
            if match["name"] == "CreateFileW" and handle is None:
                handle = match["result"]
            continue
        args = match["args"].split(",")
        if match["name"] == "CreateFileW":
            args[0] = args[0].split(" ", 1)[1]  # the name without its address
        elif args[0] == handle:
            args[0] = "H"
        elif match["name"] not in ("FormatMessageW", "LocalFree"):
            continue  # the probe's own output
        calls.append((match["name"], args))
    return calls


def shape(calls):
    """Calls with pointer arguments blanked, where only the values matter."""
    pointers = {"GetCommState": [1], "SetCommState": [1], "GetCommTimeouts": [1],
                "SetCommTimeouts": [1], "ReadFile": [1, 3], "WriteFile": [1, 3],
                "FormatMessageW": [4], "LocalFree": [0]}
    shaped = []
    for name, args in calls:
        args = list(args)
        for index, value in enumerate(args):
            if index in pointers.get(name, []):
                args[index] = "*"
            elif re.fullmatch(r"[0-9a-f]+", value):
                # 32-bit values travel in 64-bit registers whose upper half is not cleared.
                args[index] = "%08x" % (int(value, 16) & 0xFFFFFFFF)
        shaped.append((name, ",".join(args)))
    return shaped


class PortOnDevice(unittest.TestCase):
    def setUp(self):
        self.phone = ws.Phone("ok", timeout=90)
        self.addCleanup(self.phone.stop)

    def test_open_sets_the_line_and_time_outs(self):
        code, values = probe("COM3:")
        self.assertEqual(code, 0, values)
        self.assertEqual((values["open"], values["opened"]), ("1", "1"), values)
        self.assertEqual(values["getstate"], "1")
        self.assertEqual(values["baud"], "115200")
        self.assertEqual((values["bytesize"], values["parity"], values["stopbits"]),
                         ("8", "0", "0"))
        flags = int(values["flags"], 16)
        # wine keeps the comm state in the terminal's settings, which have no place for
        # fParity under NOPARITY or for fTXContinueOnXoff: those two read back as 0 here.
        for bit in (BINARY, DTR_ENABLE, RTS_ENABLE):
            self.assertTrue(flags & bit, "bit 0x%X missing in 0x%08X" % (bit, flags))
        self.assertEqual(flags & CLEARED, 0, "0x%08X" % flags)

        self.assertEqual(values["gettimeouts"], "1")
        self.assertEqual(values["interval"], "0xFFFFFFFF")
        self.assertEqual((values["readmult"], values["readconst"]), ("1", "500"))
        self.assertEqual((values["writemult"], values["writeconst"]), ("1", "500"))
        self.assertEqual(values["close"], "1")

    def test_device_runs_raw_at_the_rate(self):
        code, values = probe("COM3:")
        self.assertEqual(code, 0, values)
        # The terminal as Linux sees it, after wine applied the settings.
        fd = os.open(self.phone.path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        try:
            iflag, _, cflag, _, ispeed, ospeed, _ = termios.tcgetattr(fd)
        finally:
            os.close(fd)
        self.assertEqual((ispeed, ospeed), (termios.B115200, termios.B115200))
        self.assertEqual(cflag & termios.CSIZE, termios.CS8)
        self.assertEqual(cflag & (termios.PARENB | termios.CSTOPB | termios.CRTSCTS), 0)
        self.assertEqual(iflag & (termios.IXON | termios.IXOFF), 0)

    def test_command_and_answer_pass_the_port(self):
        code, values = probe("COM3:")
        self.assertEqual(code, 0, values)
        self.assertEqual(values["write"], "1")
        self.assertIn("OK", values["response"])
        # The answer ends with a one-byte read that brings nothing within the read time-out.
        self.assertGreaterEqual(int(values["readms"]), 450)
        self.assertIn("AT\r", self.phone.received_text())


    def test_open_write_read_close_make_exactly_the_platform_calls(self):
        relay = []
        code, values = probe("COM3:", relay)
        self.assertEqual(code, 0, values)
        calls = shape(relay)
        opening = [
            ("CreateFileW", 'L"COM3:",c0000000,00000000,00000000,00000003,80000000,00000000'),
            ("GetCommState", "H,*"), ("SetCommState", "H,*"),
            ("GetCommTimeouts", "H,*"), ("SetCommTimeouts", "H,*"),
            ("EscapeCommFunction", "H,00000005"), ("EscapeCommFunction", "H,00000003"),
            ("PurgeComm", "H,0000000f"),
            # The probe's own read-back.
            ("GetCommState", "H,*"), ("GetCommTimeouts", "H,*"),
            # "AT\r", no overlapped structure.
            ("WriteFile", "H,*,00000003,*,00000000"),
        ]
        self.assertEqual(calls[:len(opening)], opening, calls)
        reads = calls[len(opening):-2]
        self.assertGreater(len(reads), 0, calls)
        self.assertEqual(set(reads), {("ReadFile", "H,*,00000001,*,00000000")}, calls)
        self.assertEqual(calls[-2:], [("PurgeComm", "H,0000000f"), ("CloseHandle", "H")], calls)


class PortMissing(unittest.TestCase):
    def test_missing_port_shows_the_system_reason(self):
        ws.remove_com3()
        code, values = probe("COM3:")
        self.assertEqual(code, 0, values)
        self.assertEqual((values["open"], values["opened"], values["close"]), ("0", "0", "1"))
        box = values.get("box", "")
        self.assertTrue(box.startswith("box caption=Error style=0x00000040 text="), box)
        text = box.split(" text=", 1)[1]
        prefix = "Unable to open port"
        self.assertTrue(text.startswith(prefix), text)
        self.assertGreater(len(text), len(prefix), "no system text behind the prefix")

    def test_missing_port_asks_the_system_for_its_text(self):
        ws.remove_com3()
        relay = []
        code, values = probe("COM3:", relay)
        self.assertEqual(code, 0, values)
        self.assertEqual(shape(relay), [
            ("CreateFileW", 'L"COM3:",c0000000,00000000,00000000,00000003,80000000,00000000'),
            # ERROR_FILE_NOT_FOUND; allocate, ignore inserts, from the system; default language.
            ("FormatMessageW", "00001300,00000000,00000002,00000000,*,00000000,00000000"),
            ("LocalFree", "*"),
        ])


if __name__ == "__main__":
    unittest.main()
