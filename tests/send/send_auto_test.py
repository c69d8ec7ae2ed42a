#!/usr/bin/env python3
"""`brindle send --auto` against `brindle phone` over a real pseudo-terminal.

Usage: send_auto_test.py BRINDLE CASE
CASE is a phone mode (ok, silent, error, ...), or "arguments" for the refusals of bad
arguments and of fields the message cannot carry, or "no-terminal" for the interactive send without a terminal.
Every wait is bounded; the phone is always stopped.
"""
import os
import select
import signal
import subprocess
import sys

OPENING = "Opening IR Port.."
INIT = "Initializing the phone.."
PREPARING = "Preparing the highscore SMS.."
SENDING = "Sending the highscore SMS.."
INIT_FAILED = "Unable to initialize the phone. Check that IR is enable on the phone!"
SEND_FAILED = "Unable to send the highscore SMS! Please, try again!"
SUCCESS_BOX = "[Success!] Your highscore has been sent successfully!"

GAME_ID, SCORE, HANDLE = 7, 4711, "Ace"
DECODED = f'SMS 1 to +123456789012: game id {GAME_ID}, score {SCORE}, handle "{HANDLE}"'

# Per mode: exit status, stdout lines exactly, and whether the phone took the message.
EXPECTED = {
    "ok": (0, [OPENING, INIT, PREPARING, SENDING, SUCCESS_BOX], True),
    "error-ate0": (1, [OPENING, INIT, INIT_FAILED], False),
    "no-prompt": (1, [OPENING, INIT, PREPARING, SENDING, SEND_FAILED], False),
    # The line drops after the whole PDU has been written: the failed line is no success.
    "hangup": (1, [OPENING, INIT, PREPARING, SENDING, SEND_FAILED], False),
}

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def read_line(stream, timeout):
    """One line of a pipe within `timeout` seconds, or None."""
    ready, _, _ = select.select([stream], [], [], timeout)
    if not ready:
        return None
    return stream.readline()


def run_mode(brindle, mode):
    status, lines, decoded = EXPECTED[mode]
    phone = subprocess.Popen(
        [brindle, "phone", "--mode", mode, "--count", "1", "--timeout", "90"],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        pty = read_line(phone.stdout, 20)
        check(pty and pty.startswith("/dev/"), f"phone printed its terminal: {pty!r}")
        if not pty:
            return
        send = subprocess.run(
            [brindle, "send", "--auto", "--game", "Quarry", f"--game-id={GAME_ID}",
             "--score", str(SCORE), f"--handle={HANDLE}", "--port", pty.strip()],
            capture_output=True, text=True, timeout=60)
    finally:
        phone.send_signal(signal.SIGTERM)
        try:
            phone_out, phone_err = phone.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            phone.kill()
            phone_out, phone_err = phone.communicate()
    printed = send.stdout.splitlines()
    print(f"--- {mode}: exit {send.returncode}\n{send.stdout}{send.stderr}"
          f"--- phone:\n{phone_out}{phone_err}")
    check(send.returncode == status, f"{mode}: exit status {send.returncode}, not {status}")
    check(printed == lines, f"{mode}: printed {printed}, not {lines}")
    took = DECODED in phone_out.splitlines()
    check(took == decoded, f"{mode}: the phone decoded the message: {took}")


def run(brindle, args, timeout=20, stdin=None):
    return subprocess.run([brindle] + args, capture_output=True, text=True, timeout=timeout,
                          stdin=stdin)


def run_arguments(brindle):
    base = ["send", "--auto", "--game", "Quarry", "--port", "/nonexistent/port"]
    bad = [
        (["--game-id", "1", "--score", "2147483648", "--handle", "Ace"], "score beyond int32"),
        (["--game-id", "-2147483649", "--score", "1", "--handle", "Ace"], "game id beyond int32"),
        (["--game-id", "x1", "--score", "1", "--handle", "Ace"], "game id not a number"),
        (["--game-id", "1", "--score", "1", "--handle", "A" * 16], "16-character handle"),
        (["--game-id", "1", "--score", "1"], "--auto without a handle"),
        (["--game-id", "1", "--handle", "Ace"], "no score"),
        (["--game-id", "1", "--score", "1", "--handle", "Ace", "--bogus"], "unknown option"),
    ]
    for extra, what in bad:
        result = run(brindle, base + extra)
        check(result.returncode == 2, f"{what}: exit {result.returncode}, not 2")
        check(result.stderr.strip() != "", f"{what}: says why on stderr")
        check(result.stdout == "", f"{what}: nothing sent or printed: {result.stdout!r}")
    result = run(brindle, ["send", "--auto", "--game=T", "--game-id=1", "--score=-2147483648",
                           "--handle=-dash", "--port=COM9:"])
    # The option=value form takes a handle starting with '-'; COM9: maps to a device that is
    # not there, so the port failure is reached (status 1), not an argument error.
    env_port = os.environ.get("BRINDLE_COM9")
    if env_port is None:
        check(result.returncode == 1, f"--opt=value form: exit {result.returncode}")
        printed = result.stdout.splitlines()
        check(len(printed) == 3 and printed[0] == OPENING and printed[2] == "Unable to open IR port!",
              f"--opt=value form: printed {printed}")
        check(len(printed) == 3 and printed[1].startswith("[Error] Unable to open port"),
              f"the Error box comes before the failure line: {printed}")


def run_unsendable(brindle):
    """What the dialog refuses stops the send before the port is touched, as for a player."""
    cases = [
        (["--score=100000000", "--game-id=1", "--handle=Ace"],
         "Unable to prepare the SMS message! Your highscore was not sent!"),
        (["--score=1", "--game-id=2147483647", "--handle=Ace"],
         "Unable to prepare the SMS message! Your highscore was not sent!"),
        (["--score=1", "--game-id=1", "--handle=A"],
         "The handle has to be at least two characters long!"),
    ]
    for options, line in cases:
        result = run(brindle, ["send", "--auto", "--game=T", "--port=/nonexistent/port"] + options)
        check(result.returncode == 1, f"{options}: exit {result.returncode}, not 1")
        check(result.stdout.splitlines() == [line], f"{options}: printed {result.stdout!r}")


def run_no_terminal(brindle):
    with open(os.devnull, encoding="utf-8") as devnull:
        result = run(brindle, ["send", "--game", "Quarry", "--game-id", "1", "--score", "2",
                               "--handle", "Ace", "--port", "/nonexistent/port"], stdin=devnull)
    print(result.stdout, result.stderr)
    check(result.returncode == 1, f"no terminal: exit {result.returncode}, not 1")
    check("needs a terminal" in result.stderr, f"no terminal: message {result.stderr!r}")
    check("\x1b" not in result.stdout, "no terminal: nothing drawn")


def main():
    brindle, case = sys.argv[1], sys.argv[2]
    if case == "arguments":
        run_arguments(brindle)
        run_unsendable(brindle)
    elif case == "no-terminal":
        run_no_terminal(brindle)
    else:
        run_mode(brindle, case)
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
