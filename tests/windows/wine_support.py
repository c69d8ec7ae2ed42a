"""What the wine tests share: the simulated phone, the stand-in game under wine, and the
X display they are driven on. scripts/test-windows.sh provides the wine prefix and the display
(WINEPREFIX, DISPLAY, WINE); the build provides BRINDLE_DLL, BRINDLE_WINE_BIN, BRINDLE_PHONE.
Every wait here has a limit."""

import json
import os
import queue
import re
import select
import subprocess
import threading
import time

WINE = os.environ.get("WINE", "wine64")
PREFIX = os.environ.get("WINEPREFIX", "")
COM3 = os.path.join(PREFIX, "dosdevices", "com3")
DLL = os.environ.get("BRINDLE_DLL", "")
WINE_BIN = os.environ.get("BRINDLE_WINE_BIN", "")
PHONE = os.environ.get("BRINDLE_PHONE", "")
ARTIFACTS = os.environ.get("BRINDLE_WINE_ARTIFACTS", "/tmp")


def windows_path(path):
    """wine maps the Unix root to drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def remove_com3():
    if os.path.lexists(COM3):
        os.unlink(COM3)


def stop_process(process, grace=5):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=grace)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(timeout=grace)


class Phone:
    """`brindle phone` on a pseudo-terminal, linked as wine's COM3."""

    def __init__(self, mode="ok", count=None, timeout=120):
        self.log_path = os.path.join(ARTIFACTS, "phone-%s-%d.jsonl" % (mode, os.getpid()))
        remove_com3()
        command = [PHONE, "phone", "--mode", mode, "--timeout", str(timeout),
                   "--log", self.log_path, "--link", COM3]
        if count is not None:
            command += ["--count", str(count)]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)
        ready, _, _ = select.select([self.process.stdout], [], [], 10)
        if not ready:
            self.stop()
            raise RuntimeError("brindle phone printed no terminal path within 10 s")
        self.path = self.process.stdout.readline().strip()
        deadline = time.monotonic() + 5
        while not os.path.lexists(COM3) and time.monotonic() < deadline:
            time.sleep(0.05)
        if not os.path.lexists(COM3):
            self.stop()
            raise RuntimeError("brindle phone made no link at " + COM3)

    def records(self):
        if not os.path.exists(self.log_path):
            return []
        with open(self.log_path, encoding="utf-8") as log:
            return [json.loads(line) for line in log if line.strip()]

    def messages(self):
        return [r for r in self.records() if r.get("event") == "sms"]

    def received_text(self):
        return "".join(r["data"] for r in self.records() if r.get("dir") == "in")

    def stop(self):
        stop_process(self.process)
        self.process.stdout.close()
        remove_com3()


class Host:
    """The stand-in game: brindle_host.exe under wine, one SendHighScore call per name."""

    def __init__(self, *names, folder="", trace=None):
        """`folder` under BRINDLE_WINE_BIN holds the copy of the game to run; with `trace`, an
        open file, wine's relay trace of the calls named in RelayInclude goes there."""
        program = os.path.join(WINE_BIN, folder, "brindle_host.exe")
        command = [WINE, program, windows_path(DLL), *names]
        environment = dict(os.environ)
        if trace is not None:
            environment["WINEDEBUG"] = "+relay"
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, env=environment,
                                        stderr=trace if trace is not None else subprocess.DEVNULL,
                                        text=True)
        self.events = queue.Queue()
        self.seen = []
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            self.events.put(line.rstrip("\n"))
        self.events.put(None)

    def next_event(self, timeout):
        """The next line, or None when none comes within `timeout` seconds or the host ended."""
        try:
            line = self.events.get(timeout=timeout)
        except queue.Empty:
            return None
        if line is not None:
            self.seen.append(line)
        return line

    def expect(self, kind, timeout=30, skip=("DIALOG",)):
        """Waits for the next event of `kind`; events whose kind is in `skip` are passed over
        (the dialog reports itself again each time it is activated)."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            line = self.next_event(max(left, 0)) if left > 0 else None
            if line is None:
                raise AssertionError("no %s within %d s; seen: %r" % (kind, timeout, self.seen))
            if line.split(" ", 1)[0] == kind:
                return line
            if line.split(" ", 1)[0] not in skip:
                raise AssertionError("expected %s, got %r; seen: %r" % (kind, line, self.seen))

    def quiet_for(self, seconds):
        """The events of the next `seconds`, other than the dialog's reactivation."""
        deadline = time.monotonic() + seconds
        lines = []
        while (left := deadline - time.monotonic()) > 0:
            line = self.next_event(left)
            if line is None:
                break
            if not line.startswith("DIALOG"):
                lines.append(line)
        return lines

    def wait(self, timeout=20):
        return self.process.wait(timeout=timeout)

    def stop(self):
        stop_process(self.process)
        self.reader.join(timeout=5)
        self.process.stdout.close()


LOADED = re.compile(r"LOADED game=(?P<game>\S+) module=(?P<module>\S+)$")
DIALOG = re.compile(r"DIALOG title=(?P<title>.*) handle=(?P<handle>.*) score=(?P<score>.*) "
                    r"result=(?P<result>.*) send=(?P<send>\d+,\d+) cancel=(?P<cancel>\d+,\d+) "
                    r"handleBox=(?P<handleBox>\d+,\d+) window=(?P<window>\S+)$")
BOX = re.compile(r"BOX caption=(?P<caption>.*?) text=(?P<text>.*)$")


def parse_dialog(line):
    match = DIALOG.match(line)
    if not match:
        raise AssertionError("not a dialog report: %r" % line)
    return match.groupdict()


def parse_box(line):
    match = BOX.match(line)
    if not match:
        raise AssertionError("not a box report: %r" % line)
    return match.groupdict()


RELAY = re.compile(r"^(?P<thread>[0-9a-f]+):Call (?P<module>\w+)\.(?P<name>\w+)"
                   r"\((?P<args>.*)\) ret=(?P<caller>[0-9a-f]+)$")
RELAY_ARGUMENT = re.compile(r'[0-9a-f]+ (L"(?:[^"\\]|\\.)*")|([^,]+)')


def set_relay_include(names):
    """Limits wine's relay trace to these calls ("module.Name"), for every later process."""
    subprocess.run([WINE, "reg", "add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude",
                    "/t", "REG_SZ", "/d", ";".join(names), "/f"],
                   capture_output=True, timeout=60, check=True)


def relay_calls(trace):
    """(caller address, name, arguments, raw arguments) of each traced call: strings as L"...",
    numbers as their low 32 bits in hex (32-bit values travel in 64-bit registers whose upper half is
    not cleared)."""
    calls = []
    for line in trace:
        match = RELAY.match(line.rstrip("\n"))
        if not match:
            continue
        args, raw = [], []
        for text, number in RELAY_ARGUMENT.findall(match["args"]):
            if text:
                args.append(text)
                raw.append(text)
            else:
                args.append("%08x" % (int(number, 16) & 0xFFFFFFFF))
                raw.append(number)
        calls.append((int(match["caller"], 16), match["name"], args, raw))
    return calls


def low32(pointer_text):
    return "%08x" % (int(pointer_text, 16) & 0xFFFFFFFF)


def xdotool(*args, timeout=10):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=timeout,
                          check=False)


def click(point):
    x, y = point.split(",")
    xdotool("mousemove", x, y, "click", "1")


def type_text(text):
    xdotool("type", "--delay", "60", text)


def visible_windows(title):
    pattern = "^%s$" % re.escape(title)
    return xdotool("search", "--onlyvisible", "--name", pattern).stdout.split()


def window_exists(title):
    return bool(visible_windows(title))


def wait_until_shown(title, timeout=10):
    """Waits until the window is mapped, and a moment more for wine to take input on it."""
    deadline = time.monotonic() + timeout
    while not window_exists(title):
        if time.monotonic() > deadline:
            raise AssertionError("window titled %r not shown within %d s" % (title, timeout))
        time.sleep(0.1)
    time.sleep(0.5)


def press_return_on(title, timeout=15):
    """Focuses the visible top-level window with this title and presses Return (its default
    button); presses again only if the window is still shown a few seconds later."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = visible_windows(title)
        if not found:
            time.sleep(0.2)
            continue
        xdotool("windowfocus", "--sync", found[-1])
        xdotool("key", "Return")
        gone_by = min(time.monotonic() + 5, deadline)
        while time.monotonic() < gone_by:
            if not visible_windows(title):
                return
            time.sleep(0.2)
    raise AssertionError("window titled %r not dismissed within %d s" % (title, timeout))


def screenshot(name):
    path = os.path.join(ARTIFACTS, name)
    subprocess.run(["import", "-window", "root", path], capture_output=True, timeout=20,
                   check=False)
    return path
