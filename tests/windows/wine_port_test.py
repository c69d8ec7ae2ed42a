"""The Win32 port layer under wine against a real serial device: wine's COM3 is the
pseudo-terminal of `brindle phone`, opened through PhoneLink and the Win32 port."""

import os
import subprocess
import tempfile
import termios
import unittest

import wine_support as ws

# Flag word bits (DCB): what Open sets and what it clears.
BINARY, PARITY, DTR_ENABLE, TX_CONTINUE, RTS_ENABLE = 0x1, 0x2, 0x10, 0x80, 0x1000
CLEARED = 0x6F6C


def probe(port):
    # Output through a file: processes that wine starts beside the program may hold a pipe open.
    with tempfile.TemporaryFile(mode="w+") as output:
        process = subprocess.Popen([ws.WINE, os.path.join(ws.WINE_BIN, "port_probe.exe"), port],
                                   stdout=output, stderr=subprocess.DEVNULL)
        try:
            code = process.wait(timeout=60)
        finally:
            ws.stop_process(process)
        output.seek(0)
        lines = output.read().splitlines()
    values = {}
    for line in lines:
        if line.startswith("box "):
            values["box"] = line
            continue
        for pair in line.split(" "):
            key, _, value = pair.partition("=")
            values[key] = value
    return code, values


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


if __name__ == "__main__":
    unittest.main()
