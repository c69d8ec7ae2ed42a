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


def encode(game_id, score, handle, number):
    args = [BRINDLE, "encode", f"--game-id={game_id}", f"--score={score}",
            f"--handle={handle}", "--json"]
    if number:
        args.append(f"--number={number}")
    done = subprocess.run(args, capture_output=True, check=True, timeout=30)
    return json.loads(done.stdout)


def decode(pdu):
    done = subprocess.run([BRINDLE, "decode", pdu, "--json"], capture_output=True, check=True,
                          timeout=30)
    return json.loads(done.stdout)


def deliver_read_back(encoded, decoded):
    """gammu turns our SUBMIT into a DELIVER stamped with a random time (zone +00:00 under
    TZ=UTC); we must read its number, payload and stamp."""
    stamp = datetime.datetime(RANDOM.randint(2000, 2099), RANDOM.randint(1, 12),
                              RANDOM.randint(1, 28), RANDOM.randint(0, 23),
                              RANDOM.randint(0, 59), RANDOM.randint(0, 59))
    decoded.update(Type="Deliver", DateTime=stamp)
    decoded["SMSC"]["Number"] = "+31624000000"
    pdu = gammu.EncodePDU(decoded, Layout="Deliver").hex().upper()
    got = decode(pdu)
    want = {"type": "deliver", "number": decoded["Number"], "payload": encoded["payload"],
            "sentAt": stamp.isoformat() + "+00:00"}
    if all(got.get(key) == value for key, value in want.items()):
        return True
    print(f"FAIL DELIVER {pdu}: we read {got}, want {want}")
    return False


def main():
    os.environ["TZ"] = "UTC"  # gammu stamps a DELIVER with the local zone
    time.tzset()
    passed = failed = 0
    for i in range(150):
        game_id = RANDOM.randint(-99999999, 99999999)
        score = RANDOM.randint(-99999999, 99999999)
        handle = "".join(RANDOM.choice("abcXYZ09 ._-!?éÖ") for _ in range(RANDOM.randint(2, 15)))
        number = ("+" if RANDOM.random() < 0.5 else "") + "".join(
            RANDOM.choice("0123456789") for _ in range(RANDOM.randint(1, 20)))
        if i == 0:
            game_id, score, handle, number = 42, 12345, "Ann", ""
        encoded = encode(game_id, score, handle, number)
        decoded = gammu.DecodePDU(bytes.fromhex(encoded["pdu"]), SMSC=True)
        want_number = number or "+123456789012"
        if (decoded["Number"] == want_number and decoded["Text"] == encoded["scoreText"]
                and (i % 3 != 0 or deliver_read_back(encoded, decoded))):
            passed += 1
        else:
            failed += 1
            print(f"FAIL {encoded['pdu']}: gammu read {decoded['Number']!r} {decoded['Text']!r}")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
