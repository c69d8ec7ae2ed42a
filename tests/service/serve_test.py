#!/usr/bin/env python3
# `brindle serve` against `brindle phone` over real pseudo-terminals. Usage: serve_test.py
# BRINDLE CASE. Every case ends with each message of the phone stored exactly once (`brindle
# messages --json`); every wait is bounded, every process is stopped. What a PDU becomes, the
# store's rules and the service's answers to each fault of a phone or a store have their tables
# in the C++ tests; these cases are what only the processes and their terminals show.
import json
import os
import random
import re
import resource
import socket
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "web"))
import harness  # noqa: E402
from harness import pdus  # noqa: E402

BRINDLE, CASE = sys.argv[1], sys.argv[2]
TMP = tempfile.mkdtemp(prefix="serve-test-")
# With a PostgreSQL server to test against, the case keeps its messages there instead.
DB = (harness.postgres_database("serve_" + CASE.replace("-", "_"))
      if os.environ.get("BRINDLE_TEST_POSTGRES") else os.path.join(TMP, "scores.db"))
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


def tail(pdu):
    # The PDU after its service-centre field, which the phone fills in (the inbox has "00").
    return pdu[2 + 2 * int(pdu[:2], 16):]


def once_each(inbox):
    tails = sorted(tail(m["pdu"]) for m in stored())
    assert tails == sorted(tail(p) for p in inbox), f"stored: {tails}"


def some_scores(count):
    return pdus.score_delivers(BRINDLE, [(42, 100 + i, f"P{i:03d}") for i in range(count)])


def phone(inbox, *options):
    started = harness.Phone(BRINDLE, TMP, f"phone{len(STARTED)}", inbox, options)
    STARTED.append(started.process)
    return started


def emptied(phone_):
    # A second service on a fresh database finds nothing left on the phone.
    fresh = os.path.join(TMP, "check.db")
    assert once(phone_.link, fresh).returncode == 0 and stored(fresh) == [], "phone emptied"
    assert phone_.stop() == 0


def serve_all(held, inbox, *args, sig=signal.SIGTERM):
    # `brindle serve` on `held` until each of `inbox` is stored and deleted there, then ended
    # by `sig`; its stderr.
    serve = start("serve", "--port", held.link, "--db", DB, *args)
    harness.wait_for(lambda: len(stored()) == len(inbox) and held.deletes() >= len(inbox),
                     "all stored and deleted", timeout=90)
    err = stop(serve, sig)
    once_each(inbox)
    emptied(held)
    return err


def case_inbox():
    # Scores and a rejected message through to both readers' JSON and the text leaderboard.
    remy = pdus.score_deliver(BRINDLE, 7, 6, "R\u00e9my\"<'")
    ann = pdus.score_deliver(BRINDLE, 7, 5, "Ann", sender="+447700900999",
                             when=(2026, 12, 6, 20, 15, 1, 0))
    wide = pdus.score_deliver(BRINDLE, 1, 1, "Zed", coding="08")
    inbox = [remy, ann, wide]
    held = phone(inbox)
    result = once(held.link)
    assert result.returncode == 0 and result.stderr.count("stored #") == 3, result.stderr
    once_each(inbox)
    by_tail = {tail(m["pdu"]): m for m in stored()}
    assert {k: v for k, v in by_tail[tail(remy)].items() if k not in ("id", "pdu")} == {
        "status": "score", "reason": None, "sender": "+447700900123", "received": None,
        "sentAt": "2026-12-06T21:15:03+01:00", "gameId": 7, "fixed": 1, "score": 6,
        "handle": "R\u00e9my\"<'", "hidden": None}, by_tail[tail(remy)]
    rejected = by_tail[tail(wide)]
    assert rejected["status"] == "rejected" and "alphabet" in rejected["reason"], rejected
    assert "gameId" not in rejected, rejected
    board = json.loads(run("scores", "--db", DB, "--json").stdout)
    assert board == {"games": [{"gameId": 7, "gameName": None, "entries": [
        {"rank": 1, "handle": "R\u00e9my\"<'", "score": 6, "sender": "+447700900123",
         "sentAt": "2026-12-06T21:15:03+01:00"},
        {"rank": 2, "handle": "Ann", "score": 5, "sender": "+447700900999",
         "sentAt": "2026-12-06T20:15:01+00:00"}]}]}, board
    assert "R\u00e9my" in run("scores", "--db", DB, "--game-id", "7").stdout
    status = run("status", "--db", DB).stdout
    assert "3 stored (1 of them rejected), 3 deleted" in status and ": stopped" in status, status
    emptied(held)


def case_feed():
    # Messages arriving while the service runs, announced by +CMTI; a hang-up signal on the way
    # (read as a reload) does not end the service. The phone is noisy, counts places from 0, pads its PDU lines and
    # has a SIM busy for a while after each start.
    inbox = some_scores(8)
    early, late = inbox[:3], inbox[3:]
    held = phone(early, "--mode", "noisy,index-zero,padded,sim-busy")
    serve = start("serve", "--port", held.link, "--db", DB)
    harness.wait_for(lambda: len(stored()) == 3, "the inbox stored")
    serve.send_signal(signal.SIGHUP)
    for pdu in late:
        held.deliver(pdu)
    harness.wait_for(lambda: held.deletes() >= 8, "the fed ones stored and deleted")
    assert stop(serve).count("stored #") == 8
    once_each(inbox)
    emptied(held)


def sent(held, text):
    # How often the service wrote `text` to the phone.
    with open(held.log, encoding="utf-8") as log:
        written = "".join(e.get("data", "") for e in map(json.loads, log) if e.get("dir") == "in")
    return written.count(text)


def config(port, pin):
    path = os.path.join(TMP, "brindle.toml")
    with open(path, "w", encoding="utf-8") as out:
        out.write(f'database = "{DB}"\n[[phone]]\nname = "front"\nport = "{port}"\n'
                  f'speed = 9600\npin = "{pin}"\ninit = [\'AT+CSCS="GSM"\']\n'
                  '[games]\n42 = "Falling Blocks"\n')
    return path


def case_systemd():
    # As systemd runs it: its phone from the config file, readiness and the watchdog told to
    # NOTIFY_SOCKET. A wrong PIN is sent once, however often the phone is started again; a
    # SIGHUP takes the corrected file, and the service goes on to store the messages.
    inbox = some_scores(3)
    held = phone(inbox, "--pin", "2468")
    path = config(held.link, "1357")
    listener = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    listener.bind(os.path.join(TMP, "notify"))
    listener.settimeout(30)
    env = dict(os.environ, NOTIFY_SOCKET=os.path.join(TMP, "notify"), WATCHDOG_USEC="400000")
    STARTED.append(subprocess.Popen([BRINDLE, "serve", "--config", path, "--phone", "front"],
                                    stderr=subprocess.PIPE, text=True, env=env))
    serve = STARTED[-1]
    said = []

    def hear():  # read at once, as systemd does: a full socket would block the service
        while True:
            try:
                said.append(listener.recv(100).decode())
            except OSError:
                return
    threading.Thread(target=hear, daemon=True).start()
    # The watchdog hears from the loop while the phone is refused.
    harness.wait_for(lambda: len(said) >= 3, "three datagrams")
    assert said[:3] == ["WATCHDOG=1"] * 3, said
    harness.wait_for(lambda: sent(held, "AT+CPIN?") >= 3, "the phone started three times")
    assert sent(held, "AT+CPIN=") == 1, "the refused PIN was sent again"
    config(held.link, "2468")
    serve.send_signal(signal.SIGHUP)
    harness.wait_for(lambda: "READY=1" in said, "ready after the reload")
    assert "RELOADING=1" in said, said
    harness.wait_for(lambda: len(stored()) == 3 and held.deletes() >= 3, "all stored")
    assert sent(held, 'AT+CSCS="GSM"') >= 1 and sent(held, "AT+CPIN=") == 2
    boards = json.loads(run("scores", "--db", DB, "--json").stdout)
    assert [board.get("gameName") for board in boards["games"]] == ["Falling Blocks"], boards
    lines = stop(serve).splitlines()
    stamp = r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ (info|warning|error) brindle serve: "
    assert all(re.match(stamp, line) for line in lines), lines
    assert sum("refused the PIN" in line for line in lines) == 1, lines
    assert any(" warning " in line for line in lines) and "stored #" in lines[-2], lines
    # Under journald: the priority first, no time; a bad file refused in one line.
    bad = os.path.join(TMP, "bad.toml")
    with open(bad, "w", encoding="utf-8") as out:
        out.write('database = "x.db"\n\n[[phone]]\nport = "/dev/null"\nspeed = 9601\n')
    read, write = os.pipe()
    fd = os.fstat(write)
    journal = subprocess.run([BRINDLE, "serve", "--once", "--port", held.link, "--db", DB],
                             stderr=write, env=dict(os.environ, JOURNAL_STREAM=f"{fd.st_dev}:"
                                                    f"{fd.st_ino}"), timeout=60)
    os.close(write)
    with os.fdopen(read) as err:
        lines = err.read().splitlines()
    assert journal.returncode == 0 and lines[0].startswith("<6>brindle serve: phone ready"), lines
    refused = run("serve", "--config", bad)
    assert refused.returncode == 2 and refused.stderr == f"brindle serve: {bad}:5: phone[1].speed "\
        "is not a serial speed (1200, 2400, ... 115200, ... 921600)\n", refused.stderr
    emptied(held)


def case_hangup():
    # The line drops in the middle of the first listing; the phone comes back on a new
    # terminal, which the service reaches again by the same name.
    inbox = some_scores(6)
    held = phone(inbox, "--mode", "hangup-listing")
    assert "again" in serve_all(held, inbox, sig=signal.SIGINT), "it said it reopens the port"


def case_kill():
    # SIGKILL after the commit, before any delete: the restart stores nothing twice.
    inbox = some_scores(5)
    held = phone(inbox)
    killed = once(held.link, env=dict(os.environ, BRINDLE_SERVE_KILL_AFTER_COMMIT="1"))
    assert killed.returncode == -signal.SIGKILL and held.deletes() == 0, killed.stderr
    once_each(inbox)
    again = once(held.link)
    assert again.returncode == 0 and "stored #" not in again.stderr, again.stderr
    once_each(inbox)
    emptied(held)


def case_announced():
    # Messages announced in either memory, read alone from a phone that answers its first read
    # late and once puts a stray OK ahead of an answer: each is committed before its place is
    # deleted, and the place still holds exactly what was committed.
    inbox = some_scores(9)
    held = phone(inbox[:2], "--mode", "memories,noisy,cmgr-no-stat,late,stray-ok")
    serve = start("serve", "--port", held.link, "--db", DB)
    harness.wait_for(lambda: len(stored()) == 2, "the inbox stored")
    for pdu in inbox[2:]:
        held.deliver(pdu)
        time.sleep(0.2)
    harness.wait_for(lambda: len(stored()) == 9 and held.deletes() >= 9, "the fed ones",
                     timeout=90)
    stop(serve)
    once_each(inbox)
    emptied(held)


def case_full():
    # A full memory: what the network held back arrives as places are freed.
    inbox = some_scores(7)
    held = phone(inbox[:3], "--capacity", "3", "--mode", "full,not-support")
    for pdu in inbox[3:]:
        held.deliver(pdu)
    serve_all(held, inbox, "--poll", "1")


def case_import():
    # An archive of what serve took off a phone, imported into DB: each line stored as serve
    # stored it, once, and a second import of the same file stores nothing new; in
    # transactions of three lines, so that the archive spans several.
    served = os.path.join(TMP, "served.db")
    inbox = some_scores(3) + [pdus.score_deliver(BRINDLE, 1, 1, "Zed", coding="08")]
    held = phone(inbox)
    assert once(held.link, served).returncode == 0
    taken = stored(served)
    archive = [m["pdu"] for m in taken] + ["", " \t", "NOT A PDU", "  " + taken[0]["pdu"] + "\r"]

    def imported(lines, summary):
        result = subprocess.run([BRINDLE, "import", "--db", DB], capture_output=True, text=True,
                                input="\n".join(lines), timeout=60,
                                env={**os.environ, "BRINDLE_IMPORT_BATCH": "3"})
        assert result.returncode == 0 and result.stderr.startswith(summary), result.stderr
        assert result.stderr.count("\n") == 1, result.stderr

    imported(archive, "brindle import: 8 lines: 5 stored (2 of them rejected), 1 already held, "
                      "2 blank;")
    without_ids = [{k: v for k, v in m.items() if k != "id"} for m in stored()]
    assert without_ids[:4] == [{k: v for k, v in m.items() if k != "id"} for m in taken]
    assert without_ids[4]["status"] == "rejected" and without_ids[4]["pdu"] == "NOT A PDU"
    imported(archive, "brindle import: 8 lines: 0 stored (0 of them rejected), 6 already held")
    imported([f"JUNK{i}" for i in range(7)], "brindle import: 7 lines: 7 stored")
    assert len(stored()) == 5 + 7
    for args in [["import"], ["import", "--db", TMP]]:
        result = subprocess.run([BRINDLE, *args], capture_output=True, input="", timeout=60)
        assert result.returncode == 2 and result.stderr, (args, result)
    assert held.stop() == 0


def case_backup():
    # Backups taken while serve drains a phone, one message a commit: each, restored, holds
    # every message committed before it began and ranks them. `brindle status` follows the
    # service, and says when it has not been heard from.
    inbox = some_scores(60)
    held = phone(inbox[:1])
    serve = start("serve", "--port", held.link, "--db", DB)
    harness.wait_for(lambda: len(stored()) == 1, "the inbox stored")

    backups = [0]  # taken so far: the feed keeps at most 10 messages ahead of the next one

    def feed():
        for n, pdu in enumerate(inbox[1:], 1):
            while n > 15 * (backups[0] + 1) + 10 and backups[0] < 3:
                time.sleep(0.05)
            if held.process.poll() is not None:
                return  # the case failed and is being cleaned up
            held.deliver(pdu)
            time.sleep(0.05)
    feeder = threading.Thread(target=feed, daemon=True)
    feeder.start()
    for n in range(3):
        harness.wait_for(lambda n=n: len(stored()) > 15 * (n + 1), "more stored")
        before = stored()
        backup, restored = os.path.join(TMP, f"backup{n}.db"), os.path.join(TMP, f"r{n}.db")
        assert run("backup", "--db", DB, backup).returncode == 0
        backups[0] += 1
        shutil.copy(backup, restored)
        kept = stored(restored)
        assert before == kept[:len(before)] and len(kept) < len(inbox), (len(before), len(kept))
        board = json.loads(run("scores", "--db", restored, "--json", "--top", "100").stdout)
        assert len(board["games"][0]["entries"]) == len(kept), board
    status = run("status", "--db", DB)
    assert status.returncode == 0 and f"{held.link}: ready" in status.stdout, status
    feeder.join()
    harness.wait_for(lambda: len(stored()) == len(inbox) and held.deletes() >= len(inbox),
                     "all stored and deleted", timeout=90)
    stop(serve)
    once_each(inbox)
    status = run("status", "--db", DB)
    assert status.returncode == 0 and "stopped" in status.stdout and "60 stored" in status.stdout
    with sqlite3.connect(DB) as db:  # a service that went silent three poll periods ago
        db.execute("UPDATE ports SET state = 'ready', heard_at = heard_at - 91")
    assert run("status", "--db", DB).returncode == 1
    assert run("backup", "--db", "postgresql://nobody@nowhere/none", backup).returncode == 2
    assert run("backup", "--db", DB, DB).returncode == 2 and len(stored()) == len(inbox)
    assert run("backup", "--db", DB + ".none", backup).returncode == 2


def case_stuck():
    # A listing that stops halfway is cut after a bounded wait, the phone reset and the rest
    # taken; a phone that streams a listing without end still lets SIGTERM end the service at
    # once.
    inbox = some_scores(4)
    assert "resetting" in serve_all(phone(inbox, "--mode", "hang-listing"), inbox)
    endless = phone(some_scores(3), "--mode", "endless-listing")
    serve = start("serve", "--port", endless.link, "--db", DB)
    harness.wait_for(lambda: "AT+CMGL" in open(endless.log, encoding="utf-8").read(), "a listing")
    time.sleep(1)
    began = time.monotonic()
    stop(serve)
    assert time.monotonic() - began < 5, "SIGTERM took too long"


def case_file_size():
    # A file-size limit on the database: SIGXFSZ does not end the service, the store fails, it
    # says so, exits 1 and deletes nothing.
    inbox = some_scores(300)
    held = phone(inbox)
    assert once(phone([]).link).returncode == 0  # the schema, with nothing in it
    # Room for the shared-memory index (32 KiB), not for 300 messages.
    limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (40000, 40000))  # noqa: E731
    result = subprocess.run([BRINDLE, "serve", "--once", "--port", held.link, "--db", DB],
                            capture_output=True, text=True, timeout=60, preexec_fn=limit)
    assert result.returncode == 1 and "cannot store" in result.stderr, result
    assert held.deletes() == 0 and stored() == []


def case_waits():
    # PostgreSQL only: a server not there yet when the service starts is tried again, a line a
    # try, and once its socket appears where the service looks, the service goes on (to a port
    # that is not there: status 1); SIGTERM ends the wait. (A server that turns the service away
    # is not waited for: the store's tests show that as kNotOurs.)
    server = dict(item.split("=", 1) for item in os.environ["BRINDLE_TEST_POSTGRES"].split())
    for name, status in (("later", 1), ("stopped", 0)):
        folder, log = os.path.join(TMP, name), os.path.join(TMP, name + ".log")
        with open(log, "w", encoding="utf-8") as out:
            STARTED.append(subprocess.Popen(
                [BRINDLE, "serve", "--once", "--port", os.path.join(TMP, "no-port"), "--db",
                 f"host={folder} user={server['user']} dbname=serve_waits"], stderr=out))

        def tries(log=log):
            with open(log, encoding="utf-8") as text:
                return text.read().count("trying again")
        harness.wait_for(lambda: tries() >= 2, "a second try")
        if status:
            os.makedirs(folder)
            os.symlink(os.path.join(server["host"], ".s.PGSQL.5432"),
                       os.path.join(folder, ".s.PGSQL.5432"))
        else:
            STARTED[-1].send_signal(signal.SIGTERM)
        assert STARTED[-1].wait(harness.WAIT) == status, name


def case_crash():
    # SIGKILL at random moments while 200 messages are taken, 50 times, then --once to the end:
    # each message of each run stored once.
    rng = random.Random(os.environ.get("BRINDLE_CRASH_SEED", "7"))
    held_in_all = []
    for run_ in range(50):
        inbox = pdus.score_delivers(BRINDLE, [(9, run_ * 1000 + i, f"C{run_:02d}{i:03d}")
                                              for i in range(200)])
        held_in_all += inbox
        held = phone(inbox)
        serve = start("serve", "--port", held.link, "--db", DB)
        time.sleep(rng.uniform(0.05, 1.0))  # a full drain takes about 1.5 s
        serve.kill()
        serve.communicate()
        assert once(held.link).returncode == 0
        assert held.stop() == 0
    once_each(held_in_all)


try:
    globals()["case_" + CASE.replace("-", "_")]()
finally:
    for process in STARTED:
        if process.poll() is None:
            process.kill()
            process.communicate()
    shutil.rmtree(TMP, ignore_errors=True)
print("passed")
