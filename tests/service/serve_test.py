#!/usr/bin/env python3
# `brindle serve` against `brindle phone` (or a phone played here) over real pseudo-terminals.
# Usage: serve_test.py BRINDLE CASE. Every case ends with each message of the phone stored
# exactly once (`brindle messages --json`); every wait is bounded, every process is stopped.
import json
import os
import pty
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import tty

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pdus  # noqa: E402

BRINDLE, CASE = sys.argv[1], sys.argv[2]
TMP = tempfile.mkdtemp(prefix="serve-test-")
DB = os.path.join(TMP, "scores.db")
STARTED = []


def run(*args, env=None):
    return subprocess.run([BRINDLE, *args], capture_output=True, text=True, timeout=60, env=env)


def once(port, db=DB, env=None):
    return run("serve", "--once", "--port", port, "--db", db, env=env)


def start(*args):
    STARTED.append(subprocess.Popen([BRINDLE, *args], stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, text=True))
    return STARTED[-1]


def stop(process, sig=signal.SIGTERM):
    # Returns stderr; one that does not end on the signal fails the case (and is killed below).
    process.send_signal(sig)
    err = process.communicate(timeout=15)[1]
    assert process.returncode == 0, f"exit {process.returncode} after {sig}: {err}"
    return err


def stored(db=DB):
    result = run("messages", "--db", db, "--json")
    assert result.returncode in (0, 2), result.stderr  # 2: not made yet
    return [json.loads(line) for line in result.stdout.splitlines()]


def wait_for(what, predicate, seconds=30):
    deadline = time.monotonic() + seconds
    while not predicate():
        assert time.monotonic() < deadline, f"not in {seconds} s: {what}"
        time.sleep(0.1)


def tail(pdu):
    # The PDU after its service-centre field, which the phone fills in (the inbox has "00").
    return pdu[2 + 2 * int(pdu[:2], 16):]


def once_each(inbox):
    tails = sorted(tail(m["pdu"]) for m in stored())
    assert tails == sorted(tail(p) for p in inbox), f"stored: {tails}"


def some_scores(count, game=42):
    # Built here: one `brindle encode` each would be slow, and the inbox case runs that path.
    rows = [(str(game), "1", str(100 + i), f"P{i:03d}") for i in range(count)]
    return [pdus.deliver(pdus.raw_user_data("".join(f"{len(f):02d}{f}" for f in row)),
                         when=(2026, 12, 6, 21, 0, i, 4)) for i, row in enumerate(rows)]


class Phone:
    def __init__(self, inbox, *options):
        self.log = os.path.join(TMP, "phone.jsonl")
        with open(os.path.join(TMP, "inbox.txt"), "w", encoding="ascii") as f:
            f.write("".join(p + "\n" for p in inbox))
        self.port = os.path.join(TMP, "phone-link")
        self.process = start("phone", "--timeout", "120", "--log", self.log, "--inbox",
                             os.path.join(TMP, "inbox.txt"), "--link", self.port, *options)
        ready = select.select([self.process.stdout], [], [], 20)[0]
        assert ready and self.process.stdout.readline().startswith("/dev/"), "phone started"

    def deletes(self):
        with open(self.log, encoding="utf-8") as log:
            return log.read().count("AT+CMGD=")

    def close(self):
        # A second service on a fresh database finds nothing left on the phone.
        fresh = os.path.join(TMP, "check.db")
        assert once(self.port, fresh).returncode == 0 and stored(fresh) == [], "phone emptied"
        stop(self.process)


def case_inbox():
    ann = pdus.score_deliver(BRINDLE, 42, 20000, "Ann", sender="+447700900999",
                             when=(2026, 12, 6, 21, 15, 2, 4))
    bob = pdus.score_deliver(BRINDLE, 42, 20000, "Bob", when=(2026, 12, 6, 20, 15, 1, 0))
    remy = pdus.score_deliver(BRINDLE, 7, 6, "R\u00e9my\"<'")
    rejected = {
        pdus.deliver(pdus.user_data(BRINDLE, 1, 1, "Zed"), coding="08"): "alphabet",
        pdus.deliver(pdus.raw_user_data("0211011012Zed", header=bytes.fromhex("0003A70201")),
                     first="44"): "multi-part",
        pdus.deliver(pdus.raw_user_data("hello")): "four fields",
        # Game id 100,000,000 cannot be sent, so its payload is built here.
        pdus.deliver(pdus.raw_user_data("09100000000011015" + "02Al")): "above 99,999,999"}
    inbox = [ann, bob, remy, *rejected]
    phone = Phone(inbox)
    result = once(phone.port)
    assert result.returncode == 0 and result.stderr.count("stored #") == 7, result.stderr
    once_each(inbox)
    by_tail = {tail(m["pdu"]): m for m in stored()}
    assert {k: v for k, v in by_tail[tail(remy)].items() if k not in ("id", "pdu")} == {
        "status": "score", "reason": None, "sender": "+447700900123",
        "sentAt": "2026-12-06T21:15:03+01:00", "gameId": 7, "fixed": 1, "score": 6,
        "handle": "R\u00e9my\"<'"}, by_tail[tail(remy)]
    for pdu, reason in rejected.items():
        m = by_tail[tail(pdu)]
        assert m["status"] == "rejected" and reason in m["reason"] and "gameId" not in m, m
    board = json.loads(run("scores", "--db", DB, "--json").stdout)
    # A tie goes to the earlier moment in UTC: Bob's 20:15:01Z before Ann's 20:15:02Z.
    assert [(g["gameId"], [(e["rank"], e["handle"], e["sentAt"]) for e in g["entries"]])
            for g in board["games"]] == [
        (7, [(1, "R\u00e9my\"<'", "2026-12-06T21:15:03+01:00")]),
        (42, [(1, "Bob", "2026-12-06T20:15:01+00:00"), (2, "Ann", "2026-12-06T21:15:02+01:00")])
    ], board
    assert "Bob" in run("scores", "--db", DB, "--game-id", "42").stdout
    phone.close()


def case_feed():
    # Messages arriving while the service runs, announced by +CMTI.
    feed = os.path.join(TMP, "feed")
    early, late = some_scores(3, game=5), some_scores(5, game=6)
    phone = Phone(early, "--feed", feed)
    serve = start("serve", "--port", phone.port, "--db", DB)
    wait_for("the inbox stored", lambda: len(stored()) == 3)
    with open(feed, "w", encoding="ascii") as fifo:
        for pdu in late:
            fifo.write(pdu + "\n")
            fifo.flush()
    wait_for("the fed ones stored and deleted", lambda: phone.deletes() >= 8)
    assert stop(serve).count("stored #") == 8
    once_each(early + late)
    phone.close()


def case_hangup():
    # The line drops in the middle of the first listing; the phone comes back on a new
    # terminal, which the service reaches again by the same name.
    inbox = some_scores(6)
    phone = Phone(inbox, "--mode", "hangup-listing")
    serve = start("serve", "--port", phone.port, "--db", DB)
    wait_for("all stored and deleted", lambda: phone.deletes() >= 6 and len(stored()) == 6)
    assert "again" in stop(serve, signal.SIGINT), "the service said it reopens the port"
    once_each(inbox)
    phone.close()


def case_cmgd_refused():
    # Every delete refused: each run exits 0, names the refusals and stores nothing twice.
    inbox = some_scores(4)
    phone = Phone(inbox, "--mode", "cmgd-refused")
    for _ in range(2):
        result = once(phone.port)
        assert result.returncode == 0 and result.stderr.count("refused to delete") == 4
        once_each(inbox)
    stop(phone.process)


def case_kill():
    # SIGKILL after the commit, before any delete: the restart stores nothing twice.
    inbox = some_scores(5)
    phone = Phone(inbox)
    killed = once(phone.port, env=dict(os.environ, BRINDLE_SERVE_KILL_AFTER_COMMIT="1"))
    assert killed.returncode == -signal.SIGKILL and phone.deletes() == 0, killed.stderr
    once_each(inbox)
    again = once(phone.port)
    assert again.returncode == 0 and "stored #" not in again.stderr, again.stderr
    once_each(inbox)
    phone.close()


def case_broken_entry():
    # An entry whose PDU never arrives whole stays on the phone and is read again; after three
    # reads it is kept as rejected, as received, and deleted. This phone also refuses AT+CNMI.
    good = pdus.score_deliver(BRINDLE, 42, 7, "Ann")
    held = {1: good, 2: good[:-3]}  # odd length, short of what the header says
    master, slave = pty.openpty()
    tty.setraw(slave)
    serve = start("serve", "--once", "--port", os.ttyname(slave), "--db", DB)
    commands, buffer, deadline = [], b"", time.monotonic() + 30
    while "AT+CNMI=0,0" not in commands and time.monotonic() < deadline:
        if select.select([master], [], [], 0.1)[0]:
            buffer += os.read(master, 4096)
        while b"\r" in buffer:
            line, buffer = buffer.split(b"\r", 1)
            command = line.decode("ascii", "replace").strip()
            if not command:
                continue
            commands.append(command)
            index = int(command[8:]) if command[:8] in ("AT+CMGR=", "AT+CMGD=") else 0
            head = f"{len(good) // 2 - 1}\r\n"
            if command.startswith("AT+CMGL"):
                answer = "".join(f"\r\n+CMGL: {i},1,,{head}{held[i]}" for i in held) + "\r\n"
            elif command.startswith("AT+CMGR="):
                answer = f"\r\n+CMGR: 1,,{head}{held[index]}\r\n" if index in held else None
            elif command.startswith("AT+CMGD="):
                held.pop(index, None)
                answer = ""
            else:
                answer = None if command == "AT+CNMI=2,1" else ""
            reply = "\r\n+CME ERROR: 3\r\n" if answer is None else answer + "\r\nOK\r\n"
            os.write(master, reply.encode("ascii"))
    err = stop(serve)  # it has ended: --once
    os.close(master)
    os.close(slave)
    assert "refused AT+CNMI=2,1" in err, err
    reads = [i for i, c in enumerate(commands) if c == "AT+CMGR=2"]
    assert len(reads) == 2 and commands.index("AT+CMGD=2") > reads[-1], commands
    assert [c for c in commands if c.startswith("AT+CMGD=")] == ["AT+CMGD=1", "AT+CMGD=2"]
    once_each([good, good[:-3]])
    rejected = stored()[1]
    assert "3 reads" in rejected["reason"] and "odd number" in rejected["reason"], rejected


def case_arguments():
    missing = os.path.join(TMP, "none.db")
    for status, args in [
        (2, ["serve", "--port", "/dev/null"]),
        (2, ["serve", "--db", missing, "--port", "/x", "--poll", "soon"]),
        (2, ["messages", "--db", missing]),
        (2, ["scores", "--db", missing, "--json"]),
        (1, ["serve", "--once", "--port", os.path.join(TMP, "no-such-port"), "--db", DB]),
    ]:
        result = run(*args)
        assert result.returncode == status and result.stderr.strip(), (args, result)
    assert not os.path.exists(missing), "a reader created the database"


try:
    globals()["case_" + CASE.replace("-", "_")]()
finally:
    for process in STARTED:
        if process.poll() is None:
            process.kill()
            process.communicate()
    shutil.rmtree(TMP, ignore_errors=True)
print("passed")
