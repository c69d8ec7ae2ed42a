"""Two `brindle serve --once`, each on its own simulated phone, into one fresh PostgreSQL
database at the same moment; some messages are on both phones. Each message is stored once,
and the leaderboard shows them all.

usage: two_services_test.py BRINDLE FOLDER (BRINDLE_TEST_POSTGRES: host= and user= of the server)"""
import json
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "web"))
import harness  # noqa: E402

BRINDLE, FOLDER = sys.argv[1], sys.argv[2]
OWN, SHARED = 30, 20


def main():
    if os.path.isdir(FOLDER):
        shutil.rmtree(FOLDER)
    os.makedirs(FOLDER)
    db = harness.postgres_database("two_services")

    def score(n, sender):
        return harness.pdus.score_deliver(BRINDLE, n % 4, 1000 + n, f"P{n}", sender=sender,
                                          when=(2026, 12, 6, 21, n // 60, n % 60, 4))
    shared = [score(n, "+447700900100") for n in range(SHARED)]
    inboxes = [[score(100 + n, "+447700900101") for n in range(OWN)] + shared,
               shared[::-1] + [score(200 + n, "+447700900102") for n in range(OWN)]]
    phones = [harness.Phone(BRINDLE, FOLDER, f"phone{i}", inbox)
              for i, inbox in enumerate(inboxes)]
    try:
        services = [harness.serve_once(BRINDLE, phone.link, db) for phone in phones]
        for service in services:
            _, err = service.communicate(timeout=harness.WAIT * 2)
            assert service.returncode == 0, err
    finally:
        for phone in phones:
            phone.stop()

    listed = subprocess.run([BRINDLE, "messages", "--db", db, "--json"], capture_output=True,
                            text=True, check=True).stdout.splitlines()
    messages = [json.loads(line) for line in listed]
    pdus = sorted(message["pdu"] for message in messages)
    assert len(messages) == 2 * OWN + SHARED, f"{len(messages)} stored"
    assert len({message["id"] for message in messages}) == len(messages)
    assert len(set(pdus)) == len(pdus), "a message stored twice"
    assert all(message["status"] == "score" for message in messages)

    board = json.loads(subprocess.run([BRINDLE, "scores", "--db", db, "--json", "--top=100"],
                                      capture_output=True, text=True, check=True).stdout)
    ranked = sorted(entry["handle"] for game in board["games"] for entry in game["entries"])
    numbers = list(range(SHARED)) + [100 + n for n in range(OWN)] + [200 + n for n in range(OWN)]
    assert ranked == sorted(f"P{n}" for n in numbers), ranked
    print("ok")


main()
