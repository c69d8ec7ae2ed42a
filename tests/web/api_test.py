"""`brindle web` over HTTP against a database filled through a phone and `brindle serve`:
the API answers as `brindle scores --json` without the senders, no phone number is on any
page or answer, each route refuses what it does not take with a short 4xx and the server goes
on, a Range is ignored, a database lost while serving is a 503 that says no more, databases
that are missing or not ours and a port already served are refused, SIGHUP does not end it.
The parameters' and the page's text are tables in web_parts_test.cpp; here is what joins
them.

usage: api_test.py BRINDLE FOLDER [sqlite | postgres]  (postgres: BRINDLE_TEST_POSTGRES names
the server as libpq key=value text with host= and user=)"""
import http.client
import os
import re
import shutil
import signal
import subprocess
import sys
import time

import harness

BRINDLE, FOLDER = sys.argv[1], sys.argv[2]
STORE = sys.argv[3] if len(sys.argv) > 3 else "sqlite"
SCORES = [
    (7, 100, "Ann", "+447700900123"),
    (7, 250, "Cy", "+447700900998"),
    (7, 90, "Ann", "+447700900123"),
    (-3, 5, "Bob\xe9", "+447700900123"),
] + [(9, 1000 + i, f"H{i:02d}", "+447700900998") for i in range(12)]  # more than a top 10
NUMBERS = {sender[1:].encode() for *_, sender in SCORES}


def database(name, create=True):
    """A location with nothing there yet, or an empty database: an SQLite path, or a
    PostgreSQL URL."""
    if STORE == "sqlite":
        return os.path.join(FOLDER, name + ".sqlite")
    return harness.postgres_database(name, create)


def request(web, method, path, headers=None):
    """(status, the response's headers, body)."""
    connection = http.client.HTTPConnection("127.0.0.1", web.port, timeout=harness.WAIT)
    connection.request(method, path, headers=headers or {})
    response = connection.getresponse()
    return response.status, response.headers, response.read()


def refusals():
    other = database("web_other")
    if STORE == "sqlite":
        with open(other, "w", encoding="ascii") as out:
            out.write("a text file, not a database, long enough to have a header....\n")
    # A server that made the missing database would answer instead of exiting.
    for args in (["--db", database("web_missing", create=False)], ["--db", other],
                 ["--db", other, "--listen", "localhost"],
                 ["--db", other, "--listen", "127.0.0.1:65536"]):
        run = subprocess.run([BRINDLE, "web", *args], capture_output=True, text=True,
                             timeout=harness.WAIT)
        assert run.returncode == 2, (args, run)
        assert run.stderr.count("\n") == 1 and run.stderr.startswith("brindle web: "), run


def main():
    shutil.rmtree(FOLDER, ignore_errors=True)
    os.makedirs(FOLDER)
    refusals()
    db = database("web_api")
    harness.fill(BRINDLE, FOLDER, db, SCORES)
    web = harness.Web(BRINDLE, db)
    try:
        second = subprocess.Popen([BRINDLE, "web", "--db", db, "--listen",
                                   f"127.0.0.1:{web.port}"], stderr=subprocess.PIPE, text=True)
        said = second.stderr.readline()
        if "serving" in said:  # sharing the port
            second.terminate()
        assert second.wait(harness.WAIT) == 1 and "address already in use" in said, said
        # The terminal it was started from is gone: every answer below is still given.
        web.process.send_signal(signal.SIGHUP)

        for query, args in [("", []), ("top=1", ["--top=1"]), ("game=7", ["--game-id=7"]),
                            ("game=-3&top=100", ["--game-id=-3", "--top=100"]),
                            ("game=12345", ["--game-id=12345"])]:
            shown = subprocess.run([BRINDLE, "scores", "--db", db, "--json", *args],
                                   capture_output=True, check=True).stdout
            # The operator's own view keeps each row's sender; the public one leaves it out.
            expected, senders = re.subn(rb',"sender":"\+\d+"', b"", shown)
            assert senders == shown.count(b'"rank":'), shown
            status, headers, body = request(web, "GET", "/api/scores?" + query)
            kind = headers["Content-Type"]
            assert status == 200 and kind.startswith("application/json"), (query, status, kind)
            assert body == expected, (query, body, expected)
        for path in ("/", "/games/7", "/api/scores", "/api/scores?game=9"):
            body = request(web, "GET", path)[2]
            assert not any(number in body for number in NUMBERS), (path, body)

        for method, path, status in [
            ("GET", "/nope", 404), ("GET", "/games/x", 404), ("GET", "/games/7/x", 404),
            ("GET", "/api/scores?game=42%20OR%201=1", 400),  # the texts refused: their own table
            ("GET", "/api/events?top=0", 400),
            ("GET", "/?top=5", 400), ("POST", "/", 405), ("PUT", "/api/scores", 405),
            ("DELETE", "/api/scores", 405), ("PATCH", "/", 405), ("OPTIONS", "/", 405),
            ("TRACE", "/", 405), ("BREW", "/", 405),
        ]:
            got, headers, body = request(web, method, path)
            assert got == status, (method, path, got)
            kind = headers["Content-Type"]
            assert kind.startswith("text/plain") and 0 < len(body) < 200, (path, kind, body)

        status, headers, body = request(web, "HEAD", "/")
        assert status == 200 and body == b"", (status, body)
        assert headers["Accept-Ranges"] == "none", headers
        status, headers, page = request(web, "GET", "/")
        assert status == 200 and headers["Content-Type"] == "text/html; charset=utf-8", headers
        # The store hands the handle back as it was kept, and the page widens it once.
        assert "Bob\u00e9" in page.decode("utf-8"), page
        # Each game's top 10 only: game 9's twelve handles give ten rows, 7 two and -3 one.
        assert page.count(b'<td class="rank">') == 13, page
        status, _, page = request(web, "GET", "/games/7")
        assert status == 200 and page.count(b'<td class="rank">') == 2, (status, page)
        status, _, page = request(web, "GET", "/games/9")
        assert status == 200 and page.count(b'<td class="rank">') == 12, (status, page)

        # A board unchanged since the client's copy is a 304 without a body; changed, it is
        # sent again (the tags: each board and page has its own).
        for path in ("/api/scores?game=7", "/"):
            tag = request(web, "GET", path)[1]["ETag"]
            status, headers, body = request(web, "GET", path, {"If-None-Match": tag})
            assert (status, headers["ETag"], body) == (304, tag, b""), (path, status, body)
            status, _, body = request(web, "GET", path, {"If-None-Match": '"other"'})
            assert status == 200 and body, (path, status)

        # Whole answers only: a Range, satisfiable, not, or unreadable, is ignored.
        whole = request(web, "GET", "/api/scores?game=7")[2]
        for value in ("bytes=0-9", "bytes=-5", "bytes=9-,0-1", "bytes=99999-", "bytes=x"):
            status, _, body = request(web, "GET", "/api/scores?game=7", {"Range": value})
            assert (status, body) == (200, whole), (value, status, body)

        # The database lost under the server: once the change watch has seen it (boards are
        # answered from memory until then), the client is told only that, the operator why.
        if STORE == "sqlite":
            open(db, "wb").close()
        else:
            database("web_api", create=False)
        harness.wait_for(lambda: request(web, "GET", "/api/scores")[0] != 200, "the loss seen")
        for _ in range(5):  # the watch looks again meanwhile, several times a second
            status, _, body = request(web, "GET", "/api/scores")
            assert (status, body) == (503, b"the database cannot be read now\n"), (status, body)
            time.sleep(0.2)
    finally:
        code = web.stop()
    assert code == 0, f"brindle web ended with {code} on SIGTERM"
    log = web.process.stderr.read()
    # Said once for each reason, though every look of the watch failed again.
    said = [line for line in log.splitlines() if "cannot read the database: " in line]
    assert said and len(said) == len(set(said)), log
    print("ok")


main()
