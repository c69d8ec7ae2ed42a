"""A general SMS library (python3-gammu) must read every PDU we produce as our number and
our score text."""
import json
import random
import subprocess
import sys

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


def main():
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
        if decoded["Number"] == want_number and decoded["Text"] == encoded["scoreText"]:
            passed += 1
        else:
            failed += 1
            print(f"FAIL {encoded['pdu']}: gammu read {decoded['Number']!r} {decoded['Text']!r}")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
