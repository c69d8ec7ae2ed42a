"""`brindle web`'s event stream against a store filled through a phone and `brindle serve`:
the first event is the board /api/scores gives, a commit that changes a board brings one event
to its viewers and none to others, keep-alive comments flow, viewers that leave are dropped,
and connections that dribble their headers do not hold up anyone else.

usage: events_test.py BRINDLE FOLDER [sqlite | postgres]  (as api_test.py)"""
import os
import re
import shutil
import socket
import sys
import time
import urllib.request

import harness

BRINDLE, FOLDER = sys.argv[1], sys.argv[2]
STORE = sys.argv[3] if len(sys.argv) > 3 else "sqlite"
EVENT = re.compile(rb"event: scores\ndata: (.*)\n\n")
QUIET = 1.5  # seconds a stream is read to show that nothing more came


class Stream:
    """GET /api/events`query` on a socket of its own; `text` is what came after the header."""

    def __init__(self, port, query):
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=harness.WAIT)
        self.socket.sendall(f"GET /api/events{query} HTTP/1.1\r\nHost: x\r\n\r\n".encode())
        self.text = b""
        self.read_until(lambda: b"\r\n\r\n" in self.text)
        head, self.text = self.text.split(b"\r\n\r\n", 1)
        assert head.startswith(b"HTTP/1.1 200 ") and b"text/event-stream" in head, head

    def read_until(self, done, timeout=harness.WAIT):
        end = time.monotonic() + timeout
        while not done() and time.monotonic() < end:
            self.socket.settimeout(max(0.01, end - time.monotonic()))
            try:
                self.text += self.socket.recv(65536)
            except socket.timeout:
                pass

    def events(self):
        return EVENT.findall(self.text)

    def wait_events(self, count):
        self.read_until(lambda: len(self.events()) >= count)
        return self.events()


def scores(web, query):
    with urllib.request.urlopen(f"{web.url}/api/scores{query}", timeout=harness.WAIT) as answer:
        return answer.read().rstrip(b"\n")


def descriptors(web):
    return len(os.listdir(f"/proc/{web.process.pid}/fd"))


def main():
    shutil.rmtree(FOLDER, ignore_errors=True)
    os.makedirs(FOLDER)
    db = (os.path.join(FOLDER, "events.sqlite") if STORE == "sqlite"
          else harness.postgres_database("web_events"))
    harness.fill(BRINDLE, FOLDER, db, [(7, 100, "ANN", "+447700900123"),
                                       (9, 50, "CY", "+447700900998")])
    web = harness.Web(BRINDLE, db, {"BRINDLE_WEB_KEEPALIVE_MS": "300"})
    try:
        game, front = Stream(web.port, "?game=7&top=5"), Stream(web.port, "")
        assert game.wait_events(1) == [scores(web, "?game=7&top=5")], game.text
        assert front.wait_events(1) == [scores(web, "")], front.text

        # A better score on game 7: one event on each stream, the new board.
        harness.fill(BRINDLE, FOLDER, db, [(7, 300, "ZED", "+447700900555")], "more")
        assert game.wait_events(2)[1] == scores(web, "?game=7&top=5"), game.text
        assert front.wait_events(2)[1] == scores(web, ""), front.text
        # Game 9 only: the front page's board changes, game 7's does not.
        harness.fill(BRINDLE, FOLDER, db, [(9, 80, "CY", "+447700900998")], "other")
        assert front.wait_events(3)[2] == scores(web, ""), front.text
        game.read_until(lambda: False, QUIET)
        assert len(game.events()) == 2, game.text
        assert game.text.count(b": keep-alive\n") >= 2, game.text
        assert len(front.events()) == 3, front.text

        # Viewers that leave are dropped, their connections closed.
        before = descriptors(web)
        for stream in [Stream(web.port, "?game=7") for _ in range(20)] + [game, front]:
            stream.wait_events(1)
            stream.socket.close()
        harness.wait_for(lambda: descriptors(web) <= before - 2, "the viewers dropped")

        # Fifty connections that send their headers a line at a time: a plain request is
        # answered meanwhile, long before their deadline ends them.
        slow = [socket.create_connection(("127.0.0.1", web.port)) for _ in range(50)]
        for line in (b"GET / HTTP/1.1\r\n", b"Host: x\r\n"):
            for connection in slow:
                connection.sendall(line)
            started = time.monotonic()
            assert scores(web, "?game=9") and time.monotonic() - started < 5, "held up"
    finally:
        code = web.stop()
    assert code == 0, f"brindle web ended with {code} on SIGTERM"
    print("ok")


main()
