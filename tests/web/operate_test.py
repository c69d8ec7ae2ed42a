"""`brindle web`'s operator side beside `brindle serve` and the moderation commands: /metrics
read with a Prometheus text-format parser, /healthz, systemd's notifications (ready, and the
watchdog from the serving threads), and a hidden score and a game's new name reaching the API,
the page and the board's viewers at once.

usage: operate_test.py BRINDLE FOLDER [sqlite | postgres]  (as api_test.py)"""
import http.client
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

from prometheus_client.parser import text_string_to_metric_families

import harness

BRINDLE, FOLDER = sys.argv[1], sys.argv[2]
STORE = sys.argv[3] if len(sys.argv) > 3 else "sqlite"


def get(web, path):
    connection = http.client.HTTPConnection("127.0.0.1", web.port, timeout=harness.WAIT)
    connection.request("GET", path)
    response = connection.getresponse()
    return response.status, response.read()


def metrics(web):
    """{(name, sorted labels): value} of every sample."""
    status, body = get(web, "/metrics")
    assert status == 200, status
    return {(sample.name, tuple(sorted(sample.labels.items()))): sample.value
            for family in text_string_to_metric_families(body.decode("utf-8"))
            for sample in family.samples}


class Viewer:
    """GET /api/events?game=7; next() is the board of its next event."""

    def __init__(self, web):
        self.connection = http.client.HTTPConnection("127.0.0.1", web.port, timeout=harness.WAIT)
        self.connection.request("GET", "/api/events?game=7")
        self.response = self.connection.getresponse()

    def next(self):
        deadline = time.monotonic() + harness.WAIT  # keep-alive comments do not count
        while True:
            assert time.monotonic() < deadline, "no event"
            line = self.response.fp.readline()
            assert line, "the stream ended"
            if line.startswith(b"data: "):
                return json.loads(line[6:])


def brindle(*args):
    return subprocess.run([BRINDLE, *args], capture_output=True, text=True, timeout=harness.WAIT)


def main():
    shutil.rmtree(FOLDER, ignore_errors=True)
    os.makedirs(FOLDER)
    db = (os.path.join(FOLDER, "operate.sqlite") if STORE == "sqlite"
          else harness.postgres_database("web_operate"))
    port = harness.fill(BRINDLE, FOLDER, db, [(7, 300, "Ann", "+447700900123"),
                                              (7, 200, "Bob", "+447700900456"),
                                              (7, 100, "Ann", "+447700900123")])
    notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    notify.bind(os.path.join(FOLDER, "notify"))
    said = []

    def hear():  # read at once, as systemd does: a full socket would block the server
        while True:
            said.append(notify.recv(100).decode())
    threading.Thread(target=hear, daemon=True).start()
    config = os.path.join(FOLDER, "brindle.toml")
    with open(config, "w", encoding="utf-8") as out:
        out.write("[games]\n")
    web = harness.Web(BRINDLE, db, {"NOTIFY_SOCKET": os.path.join(FOLDER, "notify"),
                                    "WATCHDOG_USEC": "400000"}, ["--config", config])
    try:
        harness.wait_for(lambda: said.count("WATCHDOG=1") >= 2, "the watchdog told twice")
        assert said[0] == "READY=1", said
        seen = metrics(web)
        on = (("port", port),)
        for name, value in [("brindle_messages_stored_total", 3),
                            ("brindle_messages_rejected_total", 0),
                            ("brindle_messages_deleted_total", 3)]:
            assert seen[(name, on)] == value, (name, seen)
        assert seen[("brindle_phone_state", on + (("state", "stopped"),))] == 1, seen
        assert seen[("brindle_phone_state", on + (("state", "ready"),))] == 0, seen
        assert 0 <= seen[("brindle_last_message_age_seconds", on)] < harness.WAIT, seen
        assert seen[("brindle_store_up", ())] == 1, seen
        assert get(web, "/healthz") == (200, b"ok\n")

        viewer = Viewer(web)
        board = viewer.next()["games"][0]
        assert [e["handle"] for e in board["entries"]] == ["Ann", "Bob"], board
        assert board["gameName"] is None, board
        best = [m["id"] for m in map(json.loads, brindle("messages", "--db", db,
                                                          "--json").stdout.splitlines())
                if m.get("score") == 300]
        # Hidden: the board is ranked again from the scores still shown, and pushed.
        assert brindle("scores", "--db", db, "hide", str(best[0])).returncode == 0
        board = viewer.next()["games"][0]
        assert [(e["handle"], e["score"]) for e in board["entries"]] == [
            ("Bob", 200), ("Ann", 100)], board
        assert brindle("games", "--db", db, "set", "7", "Zürich <Run>").returncode == 0
        assert viewer.next()["games"][0]["gameName"] == "Zürich <Run>"
        status, page = get(web, "/games/7")
        assert status == 200 and "Zürich &lt;Run&gt; leaderboard".encode() in page, page
        # SIGHUP: the config file's names taken again, and the server goes on.
        with open(config, "w", encoding="utf-8") as out:
            out.write('[games]\n7 = "Tower"\n')
        web.process.send_signal(signal.SIGHUP)
        assert viewer.next()["games"][0]["gameName"] == "Tower"
        harness.wait_for(lambda: "READY=1" in said[said.index("RELOADING=1"):],
                         "ready after the reload")

        seen = metrics(web)
        assert seen[("brindle_live_viewers", ())] == 1, seen
        for route, status, least in [("/games/ID", "200", 1), ("/healthz", "200", 1),
                                     ("/metrics", "200", 1), ("/api/events", "200", 1)]:
            key = ("brindle_http_requests_total", (("route", route), ("status", status)))
            assert seen.get(key, 0) >= least, (key, seen)

        # The store gone: /healthz says so (through a store opened for it), /metrics still
        # answers with what the server knows.
        if STORE == "sqlite":
            open(db, "wb").close()
        else:
            harness.postgres_database("web_operate", create=False)
        harness.wait_for(lambda: get(web, "/healthz")[0] == 503, "the loss seen")
        assert metrics(web)[("brindle_live_viewers", ())] == 1
    finally:
        code = web.stop()
    assert code == 0, f"brindle web ended with {code} on SIGTERM"
    print("ok")


main()
