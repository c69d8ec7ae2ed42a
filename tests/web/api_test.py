"""`brindle web` over HTTP against a database filled through a phone and `brindle serve`:
the API answers as `brindle scores --json`, bad requests get a 4xx and the server goes on,
databases that are missing or not ours are refused without being made.

usage: api_test.py BRINDLE FOLDER [sqlite | postgres]  (postgres: BRINDLE_TEST_POSTGRES names
the server as libpq key=value text with host= and user=)"""
import http.client
import os
import shutil
import subprocess
import sys

import harness

BRINDLE, FOLDER = sys.argv[1], sys.argv[2]
STORE = sys.argv[3] if len(sys.argv) > 3 else "sqlite"
PG_BIN = "/usr/lib/postgresql/15/bin"
SCORES = [
    (7, 100, "Ann", "+447700900123"),
    (7, 250, "<script>", "+447700900999"),
    (7, 250, "Cy\"'&", "+447700900998"),
    (7, 90, "Ann", "+447700900123"),
    (-3, 5, "Bob\xe9", "+447700900123"),
    (-2147483648, 1, "Min", "+447700900123"),
    (99999999, 2, "Max", "+447700900123"),
]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def pg_server():
    fields = dict(item.split("=", 1) for item in os.environ["BRINDLE_TEST_POSTGRES"].split())
    return fields["host"], fields["user"]


def database(name):
    """A location with nothing there yet: an SQLite path, or a PostgreSQL URL."""
    if STORE == "sqlite":
        return os.path.join(FOLDER, name + ".sqlite")
    host, user = pg_server()
    subprocess.run([PG_BIN + "/dropdb", "-h", host, "-U", user, "--if-exists", name], check=True)
    return f"postgresql://{user}@{host.replace('/', '%2F')}/{name}"


def createdb(location):
    if STORE != "sqlite":
        host, user = pg_server()
        subprocess.run([PG_BIN + "/createdb", "-h", host, "-U", user,
                        location.rsplit("/", 1)[1]], check=True)


def exists(location):
    if STORE == "sqlite":
        return os.path.exists(location)
    host, user = pg_server()
    out = subprocess.run([PG_BIN + "/psql", "-h", host, "-U", user, "-d", "postgres", "-tAc",
                          "SELECT count(*) FROM pg_database WHERE datname = '"
                          + location.rsplit("/", 1)[1] + "'"],
                         capture_output=True, text=True, check=True).stdout
    return out.strip() == "1"


def request(web, method, path):
    connection = http.client.HTTPConnection("127.0.0.1", web.port, timeout=harness.WAIT)
    connection.request(method, path)
    response = connection.getresponse()
    body = response.read()
    connection.close()
    return response.status, response.getheader("Content-Type", ""), body


def refusals():
    missing = database("web_missing")
    other = database("web_other")
    createdb(other)
    if STORE == "sqlite":
        with open(other, "w", encoding="ascii") as out:
            out.write("a text file, not a database, long enough to have a header....\n")
    cases = [
        ("missing database", ["--db", missing], 2),
        ("not ours", ["--db", other], 2),
        ("bad --listen", ["--db", other, "--listen", "localhost"], 2),
        ("port out of range", ["--db", other, "--listen", "127.0.0.1:65536"], 2),
    ]
    for name, args, status in cases:
        run = subprocess.run([BRINDLE, "web"] + args, capture_output=True, text=True,
                             timeout=harness.WAIT)
        check(run.returncode == status, f"{name}: exit {run.returncode}, not {status}")
        check(run.stderr.count("\n") == 1 and run.stderr.startswith("brindle web: "),
              f"{name}: not one line on stderr: {run.stderr!r}")
    check(not exists(missing), "the missing database was made")


def main():
    if os.path.isdir(FOLDER):
        shutil.rmtree(FOLDER)
    os.makedirs(FOLDER)
    refusals()
    db = database("web_api")
    createdb(db)
    harness.fill(BRINDLE, FOLDER, db, SCORES)
    web = harness.Web(BRINDLE, db)
    try:
        queries = [(None, None), (None, 1), (7, None), (7, 1), (-3, 100), (12345, None),
                   (-2147483648, 10), (99999999, 2), (2147483647, 10)]
        for game, top in queries:
            args, params = [], []
            if game is not None:
                args.append(f"--game-id={game}")
                params.append(f"game={game}")
            if top is not None:
                args.append(f"--top={top}")
                params.append(f"top={top}")
            expected = subprocess.run([BRINDLE, "scores", "--db", db, "--json"] + args,
                                      capture_output=True, check=True).stdout
            status, kind, body = request(web, "GET", "/api/scores?" + "&".join(params))
            check(status == 200 and kind.startswith("application/json"),
                  f"{params}: {status} {kind}")
            check(body == expected, f"{params}: API {body!r} != scores {expected!r}")

        bad = [
            ("GET", "/nope", 404), ("GET", "/games/", 404), ("GET", "/games/x", 404),
            ("GET", "/games/2147483648", 404), ("GET", "/games/-2147483649", 404),
            ("GET", "/games/+7", 404), ("GET", "/games/7/x", 404), ("GET", "/games/%00", 404),
            ("GET", "/api/scores?top=0", 400), ("GET", "/api/scores?top=101", 400),
            ("GET", "/api/scores?top=abc", 400), ("GET", "/api/scores?top=", 400),
            ("GET", "/api/scores?game=1.5", 400), ("GET", "/api/scores?game=9999999999", 400),
            ("GET", "/api/scores?game=1&game=2", 400), ("GET", "/api/scores?gam=1", 400),
            ("GET", "/api/scores?game=1;DROP%20TABLE%20messages", 400),
            ("GET", "/?top=5", 400), ("POST", "/", 405), ("PUT", "/api/scores", 405),
            ("DELETE", "/api/scores", 405), ("PATCH", "/", 405), ("OPTIONS", "/", 405),
        ]
        for method, path, status in bad:
            got, kind, body = request(web, method, path)
            check(got == status, f"{method} {path}: {got}, not {status}")
            check(kind.startswith("text/plain") and 0 < len(body) < 200,
                  f"{method} {path}: no short text ({kind}, {body!r})")

        status, _, body = request(web, "HEAD", "/")
        check(status == 200 and body == b"", f"HEAD /: {status} {body!r}")
        status, kind, page = request(web, "GET", "/")
        text = page.decode("utf-8")
        check(status == 200 and kind == "text/html; charset=utf-8", f"GET /: {status} {kind}")
        for game in (7, -3, -2147483648, 99999999):
            check(f'href="/games/{game}"' in text, f"GET /: no link to game {game}")
        check("&lt;script&gt;" in text and "<script>" not in text.replace(
            '<script src="/live.js" defer></script>', ""), "GET /: a handle is markup")
        check('title="Cy&quot;&#39;&amp;"' in text, "GET /: a handle unescaped in an attribute")
        check("Bob\u00e9" in text, "GET /: a Latin-1 handle not shown as its character")
        status, _, page = request(web, "GET", "/games/7")
        rows = page.count(b'<td class="rank">')
        check(status == 200 and rows == 3, f"GET /games/7: {status}, {rows} rows")
        status, _, page = request(web, "GET", "/games/12345")
        check(status == 200 and b"No scores yet." in page, f"GET /games/12345: {status}")
    finally:
        code = web.stop()
    check(code == 0, f"brindle web ended with {code} on SIGTERM")
    if failures:
        sys.exit(f"{len(failures)} failures")
    print("ok")


main()
