# Brindle.dll for Windows CE run on the emulated StrongARM (ce_machine.py): a game's call of
# SendHighScore(L"Stackfall", 42, 123456, parent) with the player typing "Ann" and pressing
# Send SMS, against `brindle phone` on a pseudo-terminal as "COM3:" (or no port at all).
# Environment: BRINDLE_CE_DLL, BRINDLE_CE_DLL_V5 (the same built for ARMv5TE), BRINDLE_PHONE.
# With BRINDLE_CE_TRANSCRIPT set, the successful run's events are printed.

import json
import os
import subprocess
import tempfile
import time
import unittest

import capstone

import ce_machine

OPENING = "Opening IR Port..\r\n"
STAGES = [OPENING, OPENING + "Initializing the phone..\r\n",
          OPENING + "Initializing the phone..\r\nPreparing the highscore SMS..\r\n",
          OPENING + "Initializing the phone..\r\nPreparing the highscore SMS..\r\n"
          "Sending the highscore SMS..\r\n"]
DIALOG = "%#x" % ce_machine.DIALOG
# The dialog opening, the same in every run: the shell from the Windows folder, then the boxes.
OPENED = [
    "load \\Windows\\aygshell.dll",
    "SHInitDialog mask=1 dialog=%s flags=10" % DIALOG,
    "window SIPPREF parent=%s id=19991 style=0x40000000 exstyle=0 at [-10, -10, 5, 5]" % DIALOG,
    "shell#65 %s 4" % DIALOG, "shell#21 %s 0" % DIALOG,
    "limit 1001 16", "limit 1010 256", "item 1001 ", "item 1002 123456",
    "title Send Stackfall highscores"]
SUCCESS_BOX = "box owner=%s style=0x0 Success!: Your highscore has been sent successfully!" % DIALOG
PORT_BOX = ("box owner=0x0 style=0x40 Error: Unable to open portThe specified network resource or "
            "device is no longer available.\r\n")

# phone mode (None: no port), result box texts in order, message box, how the dialog ended,
# messages the phone took
RUNS = {
    "sent": ("ok", STAGES, SUCCESS_BOX, "end 0", [("+123456789012", 42, 123456, "Ann")]),
    "no_port": (None, [OPENING, "Unable to open IR port!"], PORT_BOX, "end -1", []),
    "silent_phone": ("silent", STAGES[:2] + [
        "Unable to initialize the phone. Check that IR is enable on the phone!\r\n"],
        None, "end -1", []),
    "cms_error": ("cms-error",
                  STAGES + ["Unable to send the highscore SMS! Please, try again!\r\n"],
                  None, "end -1", []),
}


def start_phone(test, mode, folder):
    log, link = os.path.join(folder, "phone.jsonl"), os.path.join(folder, "com3")
    phone = subprocess.Popen([os.environ["BRINDLE_PHONE"], "phone", "--mode", mode, "--timeout",
                              "60", "--count", "1", "--log", log, "--link", link])
    test.addCleanup(phone.wait, 10)
    test.addCleanup(phone.terminate)
    for _ in range(100):
        if os.path.lexists(link):
            return log, link
        time.sleep(0.1)
    raise AssertionError("no link from brindle phone")


def sms(log):
    with open(log, encoding="utf-8") as events:
        return [(m["number"], m["gameId"], m["score"], m["handle"])
                for m in map(json.loads, events) if m.get("event") == "sms"]


class Send(unittest.TestCase):
    def run_send(self, name):
        mode, results, box, end, messages = RUNS[name]
        folder = tempfile.mkdtemp(prefix="brindle-ce-")
        log, link = start_phone(self, mode, folder) if mode else (None, None)
        machine = ce_machine.Machine(os.environ["BRINDLE_CE_DLL"], link, "Ann")
        self.assertEqual(machine.send_high_score("Stackfall", 42, 123456), 0)
        events = machine.events
        self.assertEqual(events[:len(OPENED)], OPENED)
        shown = [e[10:] for e in events if e.startswith("item 1010 ")]
        self.assertEqual([t for i, t in enumerate(shown) if i == 0 or shown[i - 1] != t], results)
        self.assertEqual([e for e in events if e.startswith("box ")], [box] if box else [])
        self.assertEqual([e for e in events if e.startswith("end ")], [end])
        self.assertEqual(events.count("closed"), 1 if mode else 0)
        if log:
            self.assertEqual(sms(log), messages)
        return machine

    def test_sent(self):
        machine = self.run_send("sent")
        self.assertEqual(machine.settings[1:], (115200, 0x1093, 0, 0, 0, 8, 0, 0))
        self.assertEqual(machine.timeouts, [ce_machine.MAXDWORD, 1, 500, 1, 500])
        self.assertEqual([e for e in machine.events if e.startswith("escape")],
                         ["escape 5", "escape 3"])
        self.assertEqual(machine.pauses, [1500, 1500, 1500, 2000, 5000])
        print("\n%d instructions for one send" % machine.instructions)
        if os.environ.get("BRINDLE_CE_TRANSCRIPT"):
            print("\n".join(e.replace("\r\n", "\\r\\n") for e in machine.events))

    def test_no_port(self):
        self.run_send("no_port")

    def test_silent_phone(self):
        self.run_send("silent_phone")

    def test_cms_error(self):
        self.run_send("cms_error")

    def test_armv5te_build_faults_on_the_strongarm(self):
        machine = ce_machine.Machine(os.environ["BRINDLE_CE_DLL_V5"], None, "Ann")
        with self.assertRaisesRegex(AssertionError, r"UC_ERR_INSN_INVALID.*DLL offset") as fault:
            machine.send_high_score("Stackfall", 42, 123456)
        pc = machine.pc()
        word = bytes(machine.uc.mem_read(pc, 4))
        (insn,) = capstone.Cs(capstone.CS_ARCH_ARM, capstone.CS_MODE_ARM).disasm(word, pc)
        print("\n%s: %s %s" % (fault.exception, insn.mnemonic, insn.op_str))
        self.assertTrue(insn.mnemonic.startswith(("bx", "blx", "clz", "ldrd", "strd", "pld")))


if __name__ == "__main__":
    unittest.main()
