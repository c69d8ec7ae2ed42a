"""A general SMS library (python3-gammu) must read every PDU we produce as our number and
our score text, and we must read the DELIVER it makes of it, time stamp included."""
import datetime
import json
import os
import random
import subprocess
import sys
import time

import gammu

BRINDLE = sys.argv[1]
RANDOM = random.Random(20261206)


def run_lines(command, lines):
    """One process for every line: the tool's batch mode, so that a sanitizer build starts
    once rather than once a case."""
    done = subprocess.run([BRINDLE, *command, "--lines"], input="".join(
        line + "\n" for line in lines), capture_output=True, check=True, text=True, timeout=120)
    return [json.loads(line) for line in done.stdout.splitlines()]


def deliver(decoded):
    """gammu turns our SUBMIT into a DELIVER stamped with a random time (zone +00:00 under
    TZ=UTC); gives its PDU and the stamp we must read from it."""
    stamp = datetime.datetime(RANDOM.randint(2000, 2099), RANDOM.randint(1, 12),
                              RANDOM.randint(1, 28), RANDOM.randint(0, 23),
                              RANDOM.randint(0, 59), RANDOM.randint(0, 59))
    decoded.update(Type="Deliver", DateTime=stamp)
    decoded["SMSC"]["Number"] = "+31624000000"
    return gammu.EncodePDU(decoded, Layout="Deliver").hex().upper(), stamp


def main():
    os.environ["TZ"] = "UTC"  # gammu stamps a DELIVER with the local zone
    time.tzset()
    cases = []
    for i in range(150):
        case = {"gameId": RANDOM.randint(-99999999, 99999999),
                "score": RANDOM.randint(-99999999, 99999999),
                "handle": "".join(RANDOM.choice("abcXYZ09 ._-!?éÖ")
                                  for _ in range(RANDOM.randint(2, 15)))}
        number = ("+" if RANDOM.random() < 0.5 else "") + "".join(
            RANDOM.choice("0123456789") for _ in range(RANDOM.randint(1, 20)))
        if i == 0:
            case, number = {"gameId": 42, "score": 12345, "handle": "Ann"}, ""
        if number:
            case["number"] = number
        cases.append(case)
    failed = 0
    delivers = []
    for case, encoded in zip(cases, run_lines(["encode"], map(json.dumps, cases)), strict=True):
        decoded = gammu.DecodePDU(bytes.fromhex(encoded["pdu"]), SMSC=True)
        if (decoded["Number"] != case.get("number", "+123456789012")
                or decoded["Text"] != encoded["scoreText"]):
            failed += 1
            print(f"FAIL {encoded['pdu']}: gammu read {decoded['Number']!r} {decoded['Text']!r}")
        elif len(delivers) < 50:
            pdu, stamp = deliver(decoded)
            delivers.append((pdu, {"type": "deliver", "number": decoded["Number"],
                                   "payload": encoded["payload"],
                                   "sentAt": stamp.isoformat() + "+00:00"}))
    read = run_lines(["decode", "-"], (pdu for pdu, _ in delivers))
    for (pdu, want), got in zip(delivers, read, strict=True):
        if any(got.get(key) != value for key, value in want.items()):
            failed += 1
            print(f"FAIL DELIVER {pdu}: we read {got}, want {want}")
    print(f"{len(cases)} SUBMITs and {len(delivers)} DELIVERs, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
