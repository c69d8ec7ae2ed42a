#!/usr/bin/env python3
"""`brindle send --auto` against `brindle phone` over a real pseudo-terminal, one run per way a
send ends; the stage lines and boxes of each failure are the entry tests' table.

Usage: send_auto_test.py BRINDLE CASE
CASE is a phone mode (ok, error-ate0, no-prompt), or "arguments" for what is refused before the
phone: bad arguments, a message the dialog cannot send, a port that is not there, no terminal.
"""
import os
import select
import subprocess
import sys

OPENING = "Opening IR Port.."
INIT = "Initializing the phone.."
PREPARING = "Preparing the highscore SMS.."
SENDING = "Sending the highscore SMS.."
SEND_FAILED = "Unable to send the highscore SMS! Please, try again!"
DECODED = 'SMS 1 to +123456789012: game id 7, score 4711, handle "Ace"'

# Per mode: exit status, stdout lines exactly, and whether the phone took the message.
EXPECTED = {
    "ok": (0, [OPENING, INIT, PREPARING, SENDING,
               "[Success!] Your highscore has been sent successfully!"], True),
    "error-ate0": (1, [OPENING, INIT,
                       "Unable to initialize the phone. Check that IR is enable on the phone!"],
                   False),
    "no-prompt": (1, [OPENING, INIT, PREPARING, SENDING, SEND_FAILED], False),
}


def run(brindle, args, stdin=None):
    env = {k: v for k, v in os.environ.items() if k != "BRINDLE_COM9"}  # COM9: is /dev/ttyS8
    return subprocess.run([brindle, *args], capture_output=True, text=True, timeout=60,
                          stdin=stdin, env=env)


def run_mode(brindle, mode):
    status, lines, decoded = EXPECTED[mode]
    phone = subprocess.Popen([brindle, "phone", "--mode", mode, "--count", "1", "--timeout", "90"],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert select.select([phone.stdout], [], [], 20)[0], "the phone printed its terminal"
        send = run(brindle, ["send", "--auto", "--game", "Quarry", "--game-id=7", "--score=4711",
                             "--handle=Ace", "--port", phone.stdout.readline().strip()])
    finally:
        phone.terminate()
        phone_out, phone_err = phone.communicate(timeout=10)
    print(f"--- send:\n{send.stdout}{send.stderr}--- phone:\n{phone_out}{phone_err}")
    assert (send.returncode, send.stdout.splitlines()) == (status, lines)
    assert (DECODED in phone_out.splitlines()) == decoded, "the phone decoded the message"


def run_arguments(brindle):
    # Status 2 and nothing on stdout for bad arguments; 1 and the player's lines for the rest.
    for args, status, printed in [
        (["--score=2147483648", "--handle=Ace"], 2, []),
        (["--score=1", "--handle=" + "A" * 16], 2, []),
        (["--score=1"], 2, []),  # --auto without a handle
        (["--handle=Ace"], 2, []),
        (["--score=100000000", "--handle=Ace"], 1,
         ["Unable to prepare the SMS message! Your highscore was not sent!"]),
        # A one-character handle is the dialog's refusal, not a bad argument.
        (["--score=1", "--handle=A"], 1, ["The handle has to be at least two characters long!"]),
        # The option=value form takes a handle starting with '-'; the box comes before the line.
        (["--score=-2147483648", "--handle=-dash", "--port=COM9:"], 1,
         [OPENING, "[Error] Unable to open port", "Unable to open IR port!"]),
    ]:
        port = [] if any(a.startswith("--port") for a in args) else ["--port=/nonexistent/port"]
        result = run(brindle, ["send", "--auto", "--game=T", "--game-id=1", *port, *args])
        lines = result.stdout.splitlines()
        assert result.returncode == status and len(lines) == len(printed), (args, result)
        assert all(line.startswith(want) for line, want in zip(lines, printed)), (args, lines)
        assert status != 2 or result.stderr.strip(), (args, "says why on stderr")
    with open(os.devnull, encoding="utf-8") as devnull:
        result = run(brindle, ["send", "--game", "Quarry", "--game-id", "1", "--score", "2",
                               "--handle", "Ace", "--port", "/nonexistent/port"], stdin=devnull)
    assert result.returncode == 1 and "needs a terminal" in result.stderr, result
    assert "\x1b" not in result.stdout, "nothing drawn without a terminal"


if __name__ == "__main__":
    if sys.argv[2] == "arguments":
        run_arguments(sys.argv[1])
    else:
        run_mode(sys.argv[1], sys.argv[2])
    print("passed")
