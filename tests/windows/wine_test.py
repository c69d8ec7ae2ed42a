# Brindle.dll end to end under wine: a stand-in game loads it and calls ordinal 1 twice while
# the test plays the player on the real dialog over X. scripts/test-windows.sh provides the
# prefix and display (WINE, WINEPREFIX, DISPLAY); the build provides BRINDLE_DLL,
# BRINDLE_WINE_BIN (the game and the stand-in shell library beside it) and BRINDLE_PHONE.
#
# First call: no port, and the stand-in shell only beside the game, where it must not be loaded:
# the error box names the port. Second call: `brindle phone` on COM3 and the same stand-in in
# the system folder, where it is loaded and records the shell calls; the score reaches the phone.
# LinkedGame: Stackfall (game/, BRINDLE_GAME), built against the installed package and linked
# through the import library, sends its score the same way. Every wait has a limit.

import json
import os
import pathlib
import queue
import re
import shutil
import subprocess
import threading
import time
import unittest

WINE = os.environ.get("WINE", "wine64")
PREFIX = os.environ["WINEPREFIX"]
COM3 = os.path.join(PREFIX, "dosdevices", "com3")
SYSTEM_SHELL = os.path.join(PREFIX, "drive_c", "windows", "system32", "aygshell.dll")
DLL = os.environ["BRINDLE_DLL"]
WINE_BIN = os.environ["BRINDLE_WINE_BIN"]
ARTIFACTS = os.environ.get("BRINDLE_WINE_ARTIFACTS", "/tmp")
TAG = os.path.basename(os.path.dirname(os.path.abspath(PREFIX)))  # windows-x64 or windows-x86
TITLE = "Send Quarry highscores"
HANDLE = "Ann"
DIALOG = re.compile(r"DIALOG title=(?P<title>.*) handle=(?P<handle>.*) send=(?P<send>\S+) "
                    r"cancel=(?P<cancel>\S+) handleBox=(?P<box>\S+) window=(?P<window>\S+)$")


def remove(path):
    pathlib.Path(path).unlink(missing_ok=True)


def wait(ready, what, timeout):
    deadline = time.monotonic() + timeout
    while not ready():
        assert time.monotonic() < deadline, "no %s within %d s" % (what, timeout)
        time.sleep(0.1)


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=10,
                          check=False).stdout.split()


def click(point):
    xdotool("mousemove", *point.split(","), "click", "1")


def shown(title):
    return xdotool("search", "--onlyvisible", "--name", "^%s$" % re.escape(title))


def wait_until_shown(title, timeout=15):
    """Until the window is mapped, and a moment more for wine to take input on it."""
    wait(lambda: shown(title), "window titled %r" % title, timeout)
    time.sleep(0.5)


def dismiss_box(title):
    """Return on the box's default button; again if the box is still there a while later."""
    for _ in range(3):
        found = shown(title)
        if found:
            xdotool("windowfocus", "--sync", found[-1])
            xdotool("key", "Return")
        for _ in range(30):
            if not shown(title):
                return
            time.sleep(0.1)
    raise AssertionError("box %r not dismissed" % title)


def screenshot(name):
    subprocess.run(["import", "-window", "root", os.path.join(ARTIFACTS, TAG + "-" + name)],
                   capture_output=True, timeout=20, check=False)


def start_phone(test, name):
    """`brindle phone` on a pseudo-terminal linked as wine's COM3 (it removes the link), logging
    to ARTIFACTS/TAG-name; that log's path."""
    log = os.path.join(ARTIFACTS, TAG + "-" + name)
    remove(log)
    remove(COM3)
    phone = subprocess.Popen([os.environ["BRINDLE_PHONE"], "phone", "--mode", "ok", "--timeout",
                              "120", "--count", "1", "--log", log, "--link", COM3])
    test.addCleanup(phone.wait, 10)
    test.addCleanup(phone.terminate)
    wait(lambda: os.path.lexists(COM3), "link from brindle phone at " + COM3, 10)
    return log


def sent(log):
    """(number, game id, score, handle) of each message the phone took."""
    with open(log, encoding="utf-8") as events:
        return [(m["number"], m["gameId"], m["score"], m["handle"])
                for m in map(json.loads, events) if m.get("event") == "sms"]


class Host:
    """brindle_host.exe under wine; its output lines arrive on a queue."""

    def __init__(self, *names):
        self.process = subprocess.Popen(
            [WINE, os.path.join(WINE_BIN, "brindle_host.exe"),
             "Z:" + os.path.abspath(DLL).replace("/", "\\"), *names],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.lines, self.seen = queue.Queue(), []
        threading.Thread(target=lambda: [self.lines.put(line.rstrip("\n"))
                                         for line in self.process.stdout], daemon=True).start()

    def expect(self, kind, timeout=30, skip=("DIALOG",)):
        """The next line of `kind`, passing over those in `skip` (the dialog reports itself
        each time it is activated again)."""
        deadline = time.monotonic() + timeout
        while True:
            try:
                line = self.lines.get(timeout=max(deadline - time.monotonic(), 0.01))
            except queue.Empty:
                raise AssertionError("no %s within %d s; seen %r" % (kind, timeout, self.seen))
            self.seen.append(line)
            if line.split(" ", 1)[0] == kind:
                return line
            if line.split(" ", 1)[0] not in skip:
                raise AssertionError("expected %s, got %r; seen %r" % (kind, line, self.seen))

    def dialog(self, timeout=30, skip=()):
        return DIALOG.match(self.expect("DIALOG", timeout, skip)).groupdict()

    def go(self):
        self.expect("READY", timeout=60, skip=())
        self.process.stdin.write("\n")
        self.process.stdin.flush()

    def stop(self):
        self.process.kill()
        self.process.wait(timeout=10)


class EndToEnd(unittest.TestCase):
    def test_send_through_the_dialog_with_the_shell_from_the_system_folder_only(self):
        remove(COM3)
        remove(SYSTEM_SHELL)
        self.addCleanup(remove, SYSTEM_SHELL)
        self.assertTrue(os.path.exists(os.path.join(WINE_BIN, "aygshell.dll")))
        host = Host("Quarry", "Quarry")
        self.addCleanup(host.stop)

        # No shell call comes before the dialog: the library beside the game is left alone.
        host.go()
        dialog = host.dialog(timeout=60)
        self.assertEqual((dialog["title"], dialog["handle"]), (TITLE, ""))
        wait_until_shown(TITLE)
        click(dialog["box"])
        xdotool("type", "--delay", "60", HANDLE)
        click(dialog["send"])
        box = re.match(r"BOX caption=(.*?) text=(.*)$", host.expect("BOX"))
        self.assertEqual(box[1], "Error")
        self.assertRegex(box[2], r"^Unable to open port\S.*")  # with the system's reason
        wait_until_shown("Error")
        screenshot("error.png")
        dismiss_box("Error")
        click(dialog["cancel"])
        self.assertEqual(host.expect("RETURN"), "RETURN 0")

        log = start_phone(self, "phone.jsonl")
        shutil.copy(os.path.join(WINE_BIN, "aygshell.dll"), SYSTEM_SHELL)
        host.go()
        shell = [host.expect(kind, skip=()) for kind in ("SHELL", "SIPPREF", "SHELL", "SHELL")]
        dialog = host.dialog()
        window = dialog["window"]
        self.assertEqual(shell, [
            "SHELL 56 mask=1 dialog=%s flags=10" % window,
            "SIPPREF parent=%s id=19991 style=0x40000000 exstyle=0x00000000 x=-10 y=-10 "
            "cx=5 cy=5 text=" % window,
            "SHELL 65 dialog=%s value=4" % window,
            "SHELL 21 dialog=%s value=0" % window])
        self.assertEqual((dialog["title"], dialog["handle"]), (TITLE, HANDLE))
        wait_until_shown(TITLE)
        click(dialog["send"])
        self.assertEqual(host.expect("BOX", timeout=60),
                         "BOX caption=Success! text=Your highscore has been sent successfully!")
        wait_until_shown("Success!")
        screenshot("success.png")
        dismiss_box("Success!")
        self.assertEqual(host.expect("RETURN"), "RETURN 0")
        self.assertEqual(host.process.wait(timeout=20), 0)
        self.assertEqual(sent(log), [("+123456789012", 42, 123456, HANDLE)])


class LinkedGame(unittest.TestCase):
    def test_a_game_linked_through_the_import_library_sends_its_score(self):
        log = start_phone(self, "game-phone.jsonl")
        game = subprocess.Popen([WINE, os.environ["BRINDLE_GAME"]], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(game.kill)
        wait_until_shown("Send Stackfall highscores")
        # The handle box has the focus, and Send SMS is the default button.
        xdotool("windowfocus", "--sync", shown("Send Stackfall highscores")[-1])
        xdotool("type", "--delay", "60", "ZED")
        xdotool("key", "Return")
        wait_until_shown("Success!", timeout=60)
        dismiss_box("Success!")
        self.assertEqual(game.communicate(timeout=30), ("SendHighScore returned 0\n", None))
        self.assertEqual(game.returncode, 0)
        self.assertEqual(sent(log), [("+123456789012", 7, 31337, "ZED")])


if __name__ == "__main__":
    unittest.main()
