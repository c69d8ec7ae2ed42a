"""Processes for the web and PostgreSQL tests: simulated phones, `brindle serve`, `brindle web`."""
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "service"))
import pdus  # noqa: E402  (the service tests' PDU builder)

WAIT = 30  # seconds for anything that should take a moment
PG_BIN = "/usr/lib/postgresql/15/bin"


def postgres_database(name, create=True):
    """The URL of database `name` on the test server (BRINDLE_TEST_POSTGRES: its host= and
    user=), dropped first, whoever is connected, and then made empty as an operator would,
    unless create is false."""
    server = dict(item.split("=", 1) for item in os.environ["BRINDLE_TEST_POSTGRES"].split())
    login = ["-h", server["host"], "-U", server["user"]]
    subprocess.run([PG_BIN + "/dropdb", *login, "--if-exists", "--force", name], check=True)
    if create:
        subprocess.run([PG_BIN + "/createdb", *login, name], check=True)
    return f"postgresql://{server['user']}@{server['host'].replace('/', '%2F')}/{name}"


def wait_for(check, what, timeout=WAIT):
    end = time.monotonic() + timeout
    while not check():
        assert time.monotonic() < end, f"timed out waiting for {what}"
        time.sleep(0.05)


class Phone:
    """`brindle phone` holding `inbox` (PDUs) at start, taking more by `deliver` while running.
    Its log of every command is `log`; `options` go to it as they are (--mode ...)."""

    def __init__(self, brindle, folder, name, inbox=(), options=()):
        path = os.path.join(folder, name)
        self.link, self.log, self.feed = path + ".tty", path + ".jsonl", path + ".feed"
        with open(path + ".inbox", "w", encoding="ascii") as out:
            out.write("".join(pdu + "\n" for pdu in inbox))
        self.process = subprocess.Popen(
            [brindle, "phone", "--link", self.link, "--capacity", "5000", "--log", self.log,
             "--inbox", path + ".inbox", "--feed", self.feed, *options],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: os.path.exists(self.link) and os.path.exists(self.feed),
                 "the phone's terminal")

    def deliver(self, pdu):
        with open(self.feed, "w", encoding="ascii") as out:
            out.write(pdu + "\n")

    def deletes(self):
        with open(self.log, encoding="utf-8") as log:
            return log.read().count("AT+CMGD=")

    def stop(self):
        """SIGTERM; returns the exit status."""
        self.process.terminate()
        return self.process.wait(WAIT)


class Web:
    """`brindle web` on a free port of 127.0.0.1; `env` adds to its environment, `args` to its
    command line."""

    def __init__(self, brindle, db, env=None, args=()):
        self.process = subprocess.Popen([brindle, "web", "--db", db, "--listen", "127.0.0.1:0",
                                         *args],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                        text=True, env={**os.environ, **(env or {})})
        line = self.process.stderr.readline()
        found = re.search(r"serving (http://\S+:(\d+))/", line)
        assert found, f"brindle web did not start: {line!r}"  # and has ended
        self.url, self.port = found.group(1), int(found.group(2))

    def stop(self):
        """SIGTERM; returns the exit status."""
        self.process.terminate()
        return self.process.wait(WAIT)


def fill(brindle, folder, db, scores, name="fill"):
    """Stores (game, score, handle, sender) rows through a phone and `brindle serve --once`;
    the phone's port."""
    inbox = pdus.score_delivers(brindle, scores)
    phone = Phone(brindle, folder, name, inbox)
    try:
        serve = subprocess.run([brindle, "serve", "--port", phone.link, "--db", db, "--once"],
                               capture_output=True, text=True, timeout=WAIT * 2)
        assert serve.returncode == 0, serve.stderr
    finally:
        phone.stop()
    return phone.link
