"""Brindle.dll end to end under wine: a stand-in game loads it, calls ordinal 1, and the test
plays the player on the real dialog over X while `brindle phone` sits on wine's COM3."""

import tempfile
import unittest

import wine_support as ws

GAME_TITLE = "Send Comet highscores"
HANDLE = "Ace"
OPENING = "Opening IR Port..\\r\\n"
INITIALISING = "Initializing the phone..\\r\\n"
PREPARING = "Preparing the highscore SMS..\\r\\n"
SENDING = "Sending the highscore SMS..\\r\\n"
INIT_FAILED = "Unable to initialize the phone. Check that IR is enable on the phone!\\r\\n"


class EndToEnd(unittest.TestCase):
    phone = None

    def start_host(self, *names, folder="", trace=None):
        host = ws.Host(*names, folder=folder, trace=trace)
        self.addCleanup(host.stop)
        return host

    def start_phone(self, mode, **options):
        phone = ws.Phone(mode, **options)
        self.addCleanup(phone.stop)
        return phone

    def open_dialog(self, host, skip=("LOADED",)):
        dialog = ws.parse_dialog(host.expect("DIALOG", timeout=60, skip=skip))
        self.assertEqual(dialog["title"], GAME_TITLE)
        self.assertEqual(dialog["score"], "123456")
        ws.wait_until_shown(GAME_TITLE)
        return dialog

    def press_send(self, dialog, handle):
        ws.click(dialog["handleBox"])
        ws.type_text(handle)
        ws.click(dialog["send"])

    def test_send_reaches_the_phone_and_the_handle_is_offered_again(self):
        phone = self.start_phone("ok", count=1)
        host = self.start_host("Comet", "Comet")

        dialog = self.open_dialog(host)
        self.assertEqual((dialog["handle"], dialog["result"]), ("", ""))
        self.press_send(dialog, HANDLE)
        shown = OPENING
        for line in (INITIALISING, PREPARING, SENDING):
            self.assertEqual(host.expect("RESULT", timeout=20), "RESULT " + shown)
            shown += line
        self.assertEqual(host.expect("RESULT", timeout=20), "RESULT " + shown)
        box = ws.parse_box(host.expect("BOX", timeout=30))
        self.assertEqual(box, {"caption": "Success!",
                               "text": "Your highscore has been sent successfully!"})
        ws.wait_until_shown("Success!")
        ws.screenshot("brindle-wine-success.png")
        self.assertTrue(ws.window_exists(GAME_TITLE), "the dialog closed before the box")
        ws.press_return_on("Success!")
        self.assertEqual(host.expect("RETURN", timeout=20, skip=("DIALOG", "RESULT")),
                         "RETURN 0")

        messages = phone.messages()
        self.assertEqual(len(messages), 1, phone.records())
        message = messages[0]
        self.assertEqual(message["number"], "+123456789012")
        self.assertEqual(message["payload"], "0242" "011" "06123456" "03" + HANDLE)
        self.assertEqual((message["gameId"], message["fixed"], message["score"],
                          message["handle"]), (42, 1, 123456, HANDLE))

        again = self.open_dialog(host)
        self.assertEqual(again["handle"], HANDLE)
        self.assertEqual(again["result"], "")
        ws.click(again["cancel"])
        self.assertEqual(host.expect("RETURN", timeout=20), "RETURN 0")
        self.assertEqual(host.wait(), 0)

    def test_silent_phone_fails_initialisation_and_keeps_the_dialog(self):
        phone = self.start_phone("silent")
        host = self.start_host("Comet")

        dialog = self.open_dialog(host)
        self.press_send(dialog, HANDLE)
        self.assertEqual(host.expect("RESULT", timeout=20), "RESULT " + OPENING)
        self.assertEqual(host.expect("RESULT", timeout=20), "RESULT " + OPENING + INITIALISING)
        self.assertEqual(host.expect("RESULT", timeout=30), "RESULT " + INIT_FAILED)
        self.assertEqual(host.quiet_for(2), [], "the dialog must stay open, with no box")
        self.assertTrue(ws.window_exists(GAME_TITLE))
        self.assertEqual(phone.messages(), [])

        ws.click(dialog["cancel"])
        self.assertEqual(host.expect("RETURN", timeout=20), "RETURN 0")

    def test_missing_port_shows_the_error_box_then_the_failure_line(self):
        ws.remove_com3()
        host = self.start_host("-", "Comet")

        # A null game name returns at once, showing nothing.
        self.assertEqual(host.expect("RETURN", timeout=60, skip=("LOADED",)), "RETURN 0")
        dialog = self.open_dialog(host)
        self.press_send(dialog, HANDLE)
        self.assertEqual(host.expect("RESULT", timeout=20), "RESULT " + OPENING)
        box = ws.parse_box(host.expect("BOX", timeout=20))
        self.assertEqual(box["caption"], "Error")
        self.assertTrue(box["text"].startswith("Unable to open port"), box)
        self.assertGreater(len(box["text"]), len("Unable to open port"))
        ws.wait_until_shown("Error")
        ws.screenshot("brindle-wine-error.png")
        ws.press_return_on("Error")
        self.assertEqual(host.expect("RESULT", timeout=20), "RESULT Unable to open IR port!")
        self.assertTrue(ws.window_exists(GAME_TITLE))

        ws.click(dialog["cancel"])
        self.assertEqual(host.expect("RETURN", timeout=20), "RETURN 0")

    def test_shell_calls_are_made_when_the_shell_library_is_there(self):
        ws.remove_com3()
        host = self.start_host("Comet", folder="shell")

        self.assertTrue(host.expect("LOADED", timeout=60).startswith("LOADED game="))
        init = host.next_event(30)
        preference = host.next_event(10)
        call65 = host.next_event(10)
        call21 = host.next_event(10)
        dialog = ws.parse_dialog(host.expect("DIALOG", timeout=30))
        window = dialog["window"]
        self.assertEqual(init, "SHELL 56 mask=1 dialog=%s flags=10" % window)
        self.assertEqual(preference, "SIPPREF parent=%s id=19991 style=0x40000000 "
                                     "exstyle=0x00000000 x=-10 y=-10 cx=5 cy=5 text=" % window)
        self.assertEqual(call65, "SHELL 65 dialog=%s value=4" % window)
        self.assertEqual(call21, "SHELL 21 dialog=%s value=0" % window)
        # The dialog works on after the shell calls: its start ran, and Cancel ends it.
        self.assertEqual(dialog["title"], GAME_TITLE)
        self.assertEqual(dialog["score"], "123456")
        ws.wait_until_shown(GAME_TITLE)
        ws.click(dialog["cancel"])
        self.assertEqual(host.expect("RETURN", timeout=20), "RETURN 0")

    def test_dialog_makes_exactly_the_platform_calls(self):
        traced = ["kernel32.FindResourceW", "kernel32.LoadResource", "kernel32.LockResource",
                  "kernel32.LoadLibraryW", "user32.DialogBoxIndirectParamW",
                  "user32.MessageBoxW", "user32.GetDlgItemTextW", "user32.SetDlgItemTextW",
                  "user32.SendDlgItemMessageW", "user32.UpdateWindow", "user32.SetWindowTextW",
                  "user32.EndDialog", "user32.CreateWindowExW"]
        ws.set_relay_include(traced)
        ws.remove_com3()
        trace = tempfile.TemporaryFile(mode="w+", errors="replace")
        self.addCleanup(trace.close)
        host = self.start_host("Comet", trace=trace)

        loaded_line = ws.LOADED.match(host.expect("LOADED", timeout=60))
        game, library = ws.low32(loaded_line["game"]), ws.low32(loaded_line["module"])
        dialog = self.open_dialog(host, skip=())
        self.press_send(dialog, HANDLE)
        host.expect("BOX", timeout=20, skip=("DIALOG", "RESULT"))
        ws.press_return_on("Error")
        host.expect("RESULT", timeout=20)
        ws.click(dialog["cancel"])
        self.assertEqual(host.expect("RETURN", timeout=20), "RETURN 0")
        host.wait()

        trace.seek(0)
        calls = ws.relay_calls(trace)
        found = [c for c in calls if c[1] == "FindResourceW" and c[2][1:] == ["00000081",
                                                                             "00000005"]]
        self.assertEqual(len(found), 1, calls)
        module = found[0][2][0]
        # DllMain stored the DLL's own instance, and the template is looked up there.
        self.assertEqual(module, library)
        base = int(found[0][3][0], 16)
        # Only the DLL's own calls: those returning into its image.
        own = [(name, args) for caller, name, args, _ in calls if 0 <= caller - base < 0x100000]
        window = ws.low32(dialog["window"])
        self.assertGreater(len(own), 11, own)
        found_resource, loaded = own[1][1][1], own[2][1][0]
        self.assertEqual(own[:3], [
            ("FindResourceW", [module, "00000081", "00000005"]),
            ("LoadResource", [module, found_resource]),
            ("LockResource", [loaded]),
        ])
        # The template is the loaded resource itself; the game's window owns the dialog and
        # the creation parameter is 0.
        name, args = own[3]
        self.assertEqual(name, "DialogBoxIndirectParamW")
        self.assertEqual((args[0], args[1], args[2], args[4]), (module, loaded, game, "00000000"))
        # No shell library under wine: looked for, and nothing of it called.
        self.assertEqual(own[4], ("LoadLibraryW", ['L"aygshell.dll"']))
        self.assertEqual(own[5:11], [
            ("SendDlgItemMessageW", [window, "000003e9", "000000c5", "00000010", "00000000"]),
            ("SendDlgItemMessageW", [window, "000003f2", "000000c5", "00000100", "00000000"]),
            ("SetDlgItemTextW", [window, "000003e9", 'L""']),
            ("SetDlgItemTextW", [window, "000003ea", 'L"123456"']),
            ("UpdateWindow", [window]),
            ("SetWindowTextW", [window, 'L"Send Comet highscores"']),
        ])
        boxes = [args for name, args in own if name == "MessageBoxW"]
        self.assertEqual(len(boxes), 1, own)
        self.assertEqual(boxes[0][0], "00000000")  # no owner
        self.assertTrue(boxes[0][1].startswith('L"Unable to open port'), boxes)
        self.assertEqual(boxes[0][2:], ['L"Error"', "00000040"])
        self.assertIn(("EndDialog", [window, "ffffffff"]), own)
        self.assertNotIn("CreateWindowExW", [name for name, _ in own])


if __name__ == "__main__":
    unittest.main()
