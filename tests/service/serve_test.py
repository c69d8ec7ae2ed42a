#!/usr/bin/env python3
"""`brindle serve` against `brindle phone` (or a phone played here) over real pseudo-terminals.

Usage: serve_test.py BRINDLE CASE
Every case ends by checking that each message is in the database exactly once
(`brindle messages --json`) and, where the phone is the simulated one, that it holds nothing
any more. Every wait is bounded; every process started is stopped.
"""
import json
import os
import pty
import resource
import select
import signal
import subprocess
import sys
import tempfile
import time
import tty

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pdus  # noqa: E402

BRINDLE = None
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)
    return condition


def run(args, timeout=60, **kwargs):
    return subprocess.run([BRINDLE] + args, capture_output=True, text=True, timeout=timeout,
                          **kwargs)


def messages(db):
    result = run(["messages", "--db", db, "--json"])
    check(result.returncode == 0, f"messages --json: exit {result.returncode} {result.stderr}")
    return [json.loads(line) for line in result.stdout.splitlines()]


def count_messages(db):
    """How many the database holds; -1 while it cannot be read (not made yet)."""
    result = run(["messages", "--db", db, "--json"])
    return len(result.stdout.splitlines()) if result.returncode == 0 else -1


def scores(db, *extra):
    result = run(["scores", "--db", db, "--json", *extra])
    check(result.returncode == 0, f"scores --json: exit {result.returncode} {result.stderr}")
    return json.loads(result.stdout)


def wait_for(what, predicate, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.1)
    return check(predicate(), f"in {timeout} s: {what}")


class Phone:
    """`brindle phone` with the given options; its terminal path is `self.port`."""

    def __init__(self, tmp, *options, inbox=None, link=True):
        args = [BRINDLE, "phone", "--timeout", "120", "--log", os.path.join(tmp, "phone.jsonl")]
        if inbox is not None:
            path = os.path.join(tmp, "inbox.txt")
            with open(path, "w", encoding="ascii") as f:
                f.write("".join(p + "\n" for p in inbox))
            args += ["--inbox", path]
        if link:
            self.link = os.path.join(tmp, "phone-link")
            args += ["--link", self.link]
        self.process = subprocess.Popen(args + list(options), stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
        ready, _, _ = select.select([self.process.stdout], [], [], 20)
        line = self.process.stdout.readline().strip() if ready else ""
        check(line.startswith("/dev/"), f"the phone printed its terminal: {line!r}")
        self.port = self.link if link else line

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.communicate()


def deletes_seen(tmp):
    """AT+CMGD commands the simulated phone has received (its log)."""
    with open(os.path.join(tmp, "phone.jsonl"), encoding="utf-8") as log:
        return log.read().count("AT+CMGD=")


def holds_nothing(tmp, phone):
    """A second service on a fresh database finds nothing left on the phone."""
    fresh = os.path.join(tmp, f"check-{time.monotonic_ns()}.db")
    result = run(["serve", "--once", "--port", phone.port, "--db", fresh])
    check(result.returncode == 0, f"check run: exit {result.returncode}: {result.stderr}")
    left = messages(fresh)
    check(left == [], f"the phone still held {len(left)} message(s)")


def tpdu(pdu):
    """The PDU without its service-centre field, which the phone fills in."""
    return pdu[2 + 2 * int(pdu[:2], 16):]


def once_each(stored, expected_pdus):
    """Every expected PDU (as the inbox had it, service centre '00') is stored exactly once."""
    tails = [tpdu(m["pdu"]) for m in stored]
    for pdu in expected_pdus:
        count = tails.count(pdu[2:])
        check(count == 1, f"stored {count} times: {pdu}")
    check(len(stored) == len(expected_pdus),
          f"{len(stored)} stored, {len(expected_pdus)} expected")


def score_pdu(game, score, handle, second=0, **kwargs):
    return pdus.score_deliver(BRINDLE, game, score, handle,
                              when=kwargs.pop("when", (2026, 12, 6, 21, 15, second, 4)), **kwargs)


def some_scores(count, game=42):
    """Score messages built here (the inbox case goes through `brindle encode`)."""
    def payload(i):
        return "".join(f"{len(f):02d}{f}" for f in (str(game), "1", str(100 + i), f"P{i:03d}"))
    return [pdus.deliver(pdus.raw_user_data(payload(i)),
                         when=(2026, 12, 6, 21, i // 60, i % 60, 4)) for i in range(count)]


def case_inbox(tmp):
    """A mixed inbox, taken in one --once run."""
    ann = score_pdu(42, 12345, "Ann", second=1)
    ann_better = score_pdu(42, 20000, "Ann", second=2, sender="+447700900999")
    bob = score_pdu(42, 20000, "Bob", when=(2026, 12, 6, 20, 15, 1, 0))  # earlier in UTC
    sql = score_pdu(7, 5, "x';DROP--<b>\"&", second=3)
    latin = score_pdu(7, 6, "R\u00e9my", second=4)
    ud = pdus.user_data(BRINDLE, 1, 1, "Zed")
    other_alphabet = pdus.deliver(ud, coding="08")
    piece = pdus.deliver(pdus.raw_user_data("0211011012Zed", header=bytes.fromhex("0003A70201")),
                         first="44")  # one part of a concatenated message
    not_fields = pdus.deliver(pdus.raw_user_data("hello"), when=(2026, 12, 6, 21, 16, 0, 4))
    # Game id 100,000,000 cannot be sent, so its payload is built here: the fields
    # "09" "100000000" "01" "1" "01" "5" "02" "Al" scrambled as the sender does.
    big_game = pdus.deliver(pdus.raw_user_data("09100000000011015" + "02Al"))
    inbox = [ann, ann_better, bob, sql, latin, other_alphabet, piece, not_fields, big_game]
    phone = Phone(tmp, inbox=inbox)
    db = os.path.join(tmp, "scores.db")
    try:
        result = run(["serve", "--once", "--port", phone.port, "--db", db])
        print(result.stderr)
        check(result.returncode == 0, f"serve --once: exit {result.returncode}")
        check(result.stderr.count("stored #") == len(inbox),
              "one log line per message stored")
        stored = messages(db)
        once_each(stored, inbox)
        by_tail = {tpdu(m["pdu"]): m for m in stored}
        first = by_tail[ann[2:]]
        check(first["status"] == "score" and first["reason"] is None, f"a score: {first}")
        check(first["sender"] == "+447700900123", f"sender: {first}")
        check(first["sentAt"] == "2026-12-06T21:15:01+01:00", f"sentAt: {first}")
        check((first["gameId"], first["fixed"], first["score"], first["handle"]) ==
              (42, 1, 12345, "Ann"), f"fields: {first}")
        check(by_tail[sql[2:]]["handle"] == "x';DROP--<b>\"&",
              "the handle is kept as it came")
        check(by_tail[latin[2:]]["handle"] == "R\u00e9my", "Latin-1 handle in UTF-8")
        for pdu, reason in ((other_alphabet, "alphabet"), (piece, "multi-part"),
                            (not_fields, "four fields"), (big_game, "above 99,999,999")):
            m = by_tail[pdu[2:]]
            check(m["status"] == "rejected" and reason in (m["reason"] or ""),
                  f"rejected for {reason}: {m}")
            check("gameId" not in m, f"no score fields on a rejected message: {m}")
        board = scores(db)
        expected = {"games": [
            {"gameId": 7, "entries": [
                {"rank": 1, "handle": "R\u00e9my", "score": 6, "sender": "+447700900123",
                 "sentAt": "2026-12-06T21:15:04+01:00"},
                {"rank": 2, "handle": "x';DROP--<b>\"&", "score": 5,
                 "sender": "+447700900123", "sentAt": "2026-12-06T21:15:03+01:00"}]},
            {"gameId": 42, "entries": [
                # 20:15:01 UTC against Ann's 20:15:02 UTC: Bob first.
                {"rank": 1, "handle": "Bob", "score": 20000, "sender": "+447700900123",
                 "sentAt": "2026-12-06T20:15:01+00:00"},
                {"rank": 2, "handle": "Ann", "score": 20000, "sender": "+447700900999",
                 "sentAt": "2026-12-06T21:15:02+01:00"}]}]}
        check(board == expected, f"leaderboard: {board}")
        check(scores(db, "--game-id", "7", "--top", "1")["games"] ==
              [{"gameId": 7, "entries": expected["games"][0]["entries"][:1]}],
              "one game, top 1")
        table = run(["scores", "--db", db])
        check(table.returncode == 0 and "Bob" in table.stdout, f"table: {table.stdout}")
        holds_nothing(tmp, phone)
    finally:
        phone.stop()


def start_serve(port, db, *extra, env=None):
    return subprocess.Popen([BRINDLE, "serve", "--port", port, "--db", db, *extra],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)


def stop_serve(serve):
    serve.send_signal(signal.SIGTERM)
    try:
        _, err = serve.communicate(timeout=15)
    except subprocess.TimeoutExpired:
        serve.kill()
        _, err = serve.communicate()
    print(err)
    check(serve.returncode == 0, f"serve after SIGTERM: exit {serve.returncode}")
    return err


def feed_lines(path, lines):
    with open(path, "w", encoding="ascii") as fifo:
        for line in lines:
            fifo.write(line + "\n")
            fifo.flush()
            time.sleep(0.05)


def case_feed(tmp, mode="ok", poll="30"):
    """Messages arriving while the service runs: announced, or found by polling."""
    feed = os.path.join(tmp, "feed")
    early = some_scores(3, game=5)
    late = [score_pdu(6, 10 + i, f"L{i}", second=20 + i) for i in range(5)]
    phone = Phone(tmp, "--mode", mode, "--feed", feed, inbox=early)
    db = os.path.join(tmp, "scores.db")
    serve = start_serve(phone.port, db, "--poll", poll)
    try:
        wait_for("the inbox is stored", lambda: count_messages(db) == 3, 20)
        feed_lines(feed, late)
        wait_for("the fed messages are stored", lambda: count_messages(db) == 8, 20)
        wait_for("and deleted", lambda: deletes_seen(tmp) >= 8, 10)
    finally:
        err = stop_serve(serve)
    check(err.count("stored #") == 8, "one log line per message")
    once_each(messages(db), early + late)
    holds_nothing(tmp, phone)
    phone.stop()


def case_hangup(tmp):
    """The line drops in the middle of the first listing; the phone comes back on a new
    terminal, which the service reaches by the same name."""
    inbox = some_scores(6)
    phone = Phone(tmp, "--mode", "hangup-listing", inbox=inbox)
    db = os.path.join(tmp, "scores.db")
    serve = start_serve(phone.port, db)
    try:
        wait_for("all stored after the hang-up", lambda: count_messages(db) == 6, 30)
        wait_for("and deleted", lambda: deletes_seen(tmp) >= 6, 10)
    finally:
        err = stop_serve(serve)
    check("again" in err, "the service said it reopens the port")
    once_each(messages(db), inbox)
    holds_nothing(tmp, phone)
    phone.stop()


def case_replug(tmp):
    """No phone at the start: the service waits with a growing back-off and takes the phone's
    messages once a device appears under the name it was given; SIGINT ends it."""
    link = os.path.join(tmp, "phone-link")
    db = os.path.join(tmp, "scores.db")
    serve = start_serve(link, db)
    phone = None
    try:
        time.sleep(1.5)
        check(serve.poll() is None, "the service keeps running without a phone")
        inbox = some_scores(3)
        phone = Phone(tmp, inbox=inbox)
        wait_for("stored once the phone is there", lambda: count_messages(db) == 3, 40)
        wait_for("and deleted", lambda: deletes_seen(tmp) >= 3, 10)
    finally:
        serve.send_signal(signal.SIGINT)
        try:
            _, err = serve.communicate(timeout=15)
        except subprocess.TimeoutExpired:
            serve.kill()
            _, err = serve.communicate()
        print(err)
        if phone is not None:
            phone.stop()
    check(serve.returncode == 0, f"serve after SIGINT: exit {serve.returncode}")
    check("cannot open the port" in err, "the service said the port is missing")
    once_each(messages(db), inbox)


def case_cmgd_refused(tmp):
    """The phone refuses every delete: --once still exits 0, says which, and a second run
    stores nothing twice."""
    inbox = some_scores(4)
    phone = Phone(tmp, "--mode", "cmgd-refused", inbox=inbox)
    db = os.path.join(tmp, "scores.db")
    try:
        for attempt in (1, 2):
            result = run(["serve", "--once", "--port", phone.port, "--db", db])
            print(result.stderr)
            check(result.returncode == 0, f"run {attempt}: exit {result.returncode}")
            check(result.stderr.count("refused to delete") == 4,
                  f"run {attempt}: each refused delete named")
            once_each(messages(db), inbox)
    finally:
        phone.stop()


def case_kill(tmp):
    """SIGKILL after the commit, before any delete: the restart stores nothing twice and
    clears the phone."""
    inbox = some_scores(5)
    phone = Phone(tmp, inbox=inbox)
    db = os.path.join(tmp, "scores.db")
    try:
        env = dict(os.environ, BRINDLE_SERVE_KILL_AFTER_COMMIT="1")
        killed = run(["serve", "--once", "--port", phone.port, "--db", db], env=env)
        check(killed.returncode == -signal.SIGKILL, f"killed: exit {killed.returncode}")
        once_each(messages(db), inbox)
        check(deletes_seen(tmp) == 0, "nothing deleted before the kill")
        again = run(["serve", "--once", "--port", phone.port, "--db", db])
        print(again.stderr)
        check(again.returncode == 0, f"restart: exit {again.returncode}")
        check("stored #" not in again.stderr, "the restart stored nothing new")
        once_each(messages(db), inbox)
        holds_nothing(tmp, phone)
    finally:
        phone.stop()


def case_unsolicited(tmp):
    """RING and +CMTI inside a listing are told apart from its entries."""
    inbox = some_scores(4)
    phone = Phone(tmp, "--mode", "unsolicited-listing", inbox=inbox)
    db = os.path.join(tmp, "scores.db")
    try:
        result = run(["serve", "--once", "--port", phone.port, "--db", db])
        check(result.returncode == 0, f"exit {result.returncode}: {result.stderr}")
        once_each(messages(db), inbox)
        holds_nothing(tmp, phone)
    finally:
        phone.stop()


def case_disk_full(tmp):
    """The database cannot grow: the messages stay on the phone, the service says why and
    stores them once it can."""
    inbox = some_scores(200)
    phone = Phone(tmp, inbox=[])
    db = os.path.join(tmp, "scores.db")
    feed = None
    try:
        made = run(["serve", "--once", "--port", phone.port, "--db", db])
        check(made.returncode == 0, f"empty first run: {made.stderr}")
        phone.stop()
        feed = os.path.join(tmp, "feed")
        phone = Phone(tmp, "--feed", feed, inbox=inbox)

        def limit():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            # Room for SQLite's 32 KiB shared-memory file, not for the batch in the log.
            resource.setrlimit(resource.RLIMIT_FSIZE, (32768, resource.RLIM_INFINITY))

        serve = subprocess.Popen([BRINDLE, "serve", "--port", phone.port, "--db", db],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                 preexec_fn=limit)
        try:
            time.sleep(2)
            check(messages(db) == [], "nothing stored while the disk is full")
            check(deletes_seen(tmp) == 0, "nothing deleted while the disk is full")
            resource.prlimit(serve.pid, resource.RLIMIT_FSIZE,
                             (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
            wait_for("stored once the disk has room", lambda: count_messages(db) == 200, 20)
            wait_for("and deleted", lambda: deletes_seen(tmp) >= 200, 10)
        finally:
            err = stop_serve(serve)
        check("cannot store 200 message(s)" in err, "the service said why")
        once_each(messages(db), inbox)
        holds_nothing(tmp, phone)
    finally:
        phone.stop()


class PlayedPhone:
    """A phone played here on a pseudo-terminal: a listing with an entry that never arrives
    whole, and reads of it that fail the same way."""

    def __init__(self, good, broken_pdu):
        self.master, slave = pty.openpty()
        tty.setraw(slave)
        self.slave = slave
        self.port = os.ttyname(slave)
        self.good = good
        self.broken = broken_pdu
        self.held = {1: good, 2: broken_pdu}
        self.commands = []

    def entry(self, index, prefix):
        pdu = self.held[index]
        octets = len(self.good) // 2 - 1  # the header always says what a whole one has
        head = f"{prefix}: {index},1,," if prefix == "+CMGL" else f"{prefix}: 1,,"
        return f"\r\n{head}{octets}\r\n{pdu}"

    def answer(self, command):
        if command.startswith("AT+CMGL"):
            return "".join(self.entry(i, "+CMGL") for i in sorted(self.held)) + "\r\n\r\nOK\r\n"
        if command.startswith("AT+CMGR="):
            index = int(command[8:])
            if index not in self.held:
                return "\r\n+CMS ERROR: 321\r\n"
            return self.entry(index, "+CMGR") + "\r\n\r\nOK\r\n"
        if command.startswith("AT+CMGD="):
            self.held.pop(int(command[8:]), None)
        if command == "AT+CNMI=2,1":
            return "\r\n+CME ERROR: 3\r\n"  # a phone that announces nothing
        return "\r\nOK\r\n"

    def serve(self, until):
        buffer = b""
        while time.monotonic() < until:
            ready, _, _ = select.select([self.master], [], [], 0.1)
            if not ready:
                continue
            buffer += os.read(self.master, 4096)
            while b"\r" in buffer:
                line, buffer = buffer.split(b"\r", 1)
                command = line.decode("ascii", "replace").strip()
                if command:
                    self.commands.append(command)
                    os.write(self.master, self.answer(command).encode("ascii"))
            if "AT+CNMI=0,0" in self.commands:
                return

    def close(self):
        os.close(self.master)
        os.close(self.slave)


def case_broken_entry(tmp):
    """An entry whose PDU never arrives whole stays on the phone and is read again; after
    three failed reads it is kept as rejected, with the text as received, and deleted. The
    phone refuses AT+CNMI, which the service takes in its stride."""
    good = score_pdu(42, 7, "Ann")
    broken = good[:-3]  # odd length, one octet short of what the header says
    phone = PlayedPhone(good, broken)
    db = os.path.join(tmp, "scores.db")
    serve = subprocess.Popen([BRINDLE, "serve", "--once", "--port", phone.port, "--db", db],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        phone.serve(time.monotonic() + 30)
        _, err = serve.communicate(timeout=10)
    finally:
        if serve.poll() is None:
            serve.kill()
            serve.communicate()
        phone.close()
    print(err)
    check(serve.returncode == 0, f"exit {serve.returncode}")
    check("refused AT+CNMI=2,1" in err, "a phone refusing announcements is listed instead")
    reads = [c for c in phone.commands if c == "AT+CMGR=2"]
    deletes = [c for c in phone.commands if c.startswith("AT+CMGD=")]
    check(len(reads) == 2, f"read again twice after the listing: {phone.commands}")
    check(deletes == ["AT+CMGD=1", "AT+CMGD=2"], f"deleted after storing: {deletes}")
    check(phone.commands.index("AT+CMGD=2") > phone.commands.index(reads[-1]) if reads else False,
          "the broken one deleted only after its last read")
    stored = messages(db)
    check(len(stored) == 2, f"two stored: {stored}")
    if len(stored) == 2:
        check(stored[0]["status"] == "score", f"the whole one is a score: {stored[0]}")
        rejected = stored[1]
        check(rejected["status"] == "rejected" and "3 reads" in rejected["reason"] and
              "odd number of hex digits" in rejected["reason"], f"reason: {rejected}")
        check(rejected["pdu"] == broken, "kept with the text as received")


def case_arguments(tmp):
    db = os.path.join(tmp, "none.db")
    text = os.path.join(tmp, "text.db")
    with open(text, "w", encoding="ascii") as f:
        f.write("not a database, but long enough to look at its header..........\n")
    for args, status, what in [
        (["serve", "--port", "/dev/null"], 2, "serve without --db"),
        (["serve", "--db", db, "--port", "/x", "--poll", "0"], 2, "--poll 0"),
        (["serve", "--db", db, "--port", "/x", "--poll", "soon"], 2, "--poll not a number"),
        (["serve", "--db", text, "--port", "/x", "--once"], 2, "serve on a file not ours"),
        (["messages", "--db", db], 2, "messages on a missing database"),
        (["scores", "--db", db, "--json"], 2, "scores on a missing database"),
        (["messages", "--db", text], 2, "messages on a file not ours"),
        (["scores", "--db", text], 2, "scores on a file not ours"),
        (["scores", "--db", db, "--top", "0"], 2, "--top 0"),
        (["serve", "--once", "--port", os.path.join(tmp, "no-such-port"), "--db",
          os.path.join(tmp, "a.db")], 1, "a port that does not open"),
    ]:
        result = run(args)
        check(result.returncode == status, f"{what}: exit {result.returncode}, not {status}")
        check(result.stderr.strip() != "", f"{what}: says why on stderr")
    check(not os.path.exists(db), "the readers created no database")
    phone = Phone(tmp, "--mode", "error", inbox=[])
    try:
        result = run(["serve", "--once", "--port", phone.port, "--db", os.path.join(tmp, "b.db")])
        check(result.returncode == 1, f"a phone refusing the start: exit {result.returncode}")
    finally:
        phone.stop()


CASES = {
    "inbox": case_inbox,
    "feed": case_feed,
    "no-cmti": lambda tmp: case_feed(tmp, mode="no-cmti", poll="1"),
    "hangup": case_hangup,
    "replug": case_replug,
    "cmgd-refused": case_cmgd_refused,
    "kill": case_kill,
    "unsolicited": case_unsolicited,
    "disk-full": case_disk_full,
    "broken-entry": case_broken_entry,
    "arguments": case_arguments,
}


def main():
    global BRINDLE
    BRINDLE, case = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as tmp:
        CASES[case](tmp)
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
