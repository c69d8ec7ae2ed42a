#!/usr/bin/env python3
"""The leaderboard under a crowd, on SQLite and on PostgreSQL.

For each store, two databases filled by `brindle import` (so through the same path as the
service): 1,000,000 scores in 1,000 games, and 1,000,000 scores in one game. On each:
  - wrk -t2 -c64 -d10s --latency on /api/scores?game=<a random game>&top=10, after a 3 s
    pass that has every board read once;
  - the front page, a request at a time (median and worst of 20);
and on the first: VIEWERS clients holding /api/events for one game, a new best score for it
committed by `brindle import`, and how long until every viewer had it (from the start of the
import, so the figure includes starting that process), a plain GET / during it, and the
server's resident memory per idle viewer.

Usage: crowd_bench.py [BRINDLE] [--viewers N] [--scores N] [--stores sqlite,postgres]
(as root or the postgres user, on a release build; wrk, curl and a PostgreSQL 15 server's
binaries installed).
"""
import argparse
import asyncio
import os
import random
import re
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
CLUSTER = os.path.join(HERE, "..", "tests", "postgres", "pg_cluster.sh")
sys.path.insert(0, os.path.join(HERE, "..", "tests", "service"))
import pdus  # noqa: E402


def archive(brindle, path, scores, games, handles):
    """PDU lines of `scores` messages: a game, a random score and handle each."""
    rng = random.Random(20261207)
    sent = pdus.submits(brindle, [(i % games, rng.randrange(100000000),
                                   f"P{rng.randrange(handles)}") for i in range(scores)])
    with open(path, "w") as out:
        out.write("".join(pdu + "\n" for pdu in pdus.delivers(brindle, sent)))


def imported(brindle, db, path):
    started = time.monotonic()
    with open(path) as lines:
        result = subprocess.run([brindle, "import", "--db", db], stdin=lines,
                                capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    return time.monotonic() - started, result.stderr.strip()


class Web:
    def __init__(self, brindle, db, work):
        self.log = open(os.path.join(work, "web.err"), "w+")
        self.process = subprocess.Popen([brindle, "web", "--db", db, "--listen", "127.0.0.1:0"],
                                        stderr=self.log)
        for _ in range(200):
            self.log.seek(0)
            found = re.search(r"serving (http://\S+)", self.log.read())
            if found:
                self.url = found.group(1).rstrip("/")
                return
            time.sleep(0.05)
        raise RuntimeError("brindle web did not start")

    def rss_kib(self):
        with open(f"/proc/{self.process.pid}/status") as status:
            return int(re.search(r"VmRSS:\s+(\d+)", status.read()).group(1))

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=30)


def fetch_ms(url):
    started = time.monotonic()
    with urllib.request.urlopen(url, timeout=30) as answer:
        answer.read()
    return (time.monotonic() - started) * 1000


def wrk(web, games, work):
    script = os.path.join(work, "games.lua")
    with open(script, "w") as out:
        out.write(f"""
math.randomseed(os.time())
request = function()
  return wrk.format("GET", "/api/scores?game=" .. math.random(0, {games - 1}) .. "&top=10")
end
""")
    # A first pass reads every board once, as a live board's viewers would have; then the run.
    subprocess.run(["wrk", "-t2", "-c64", "-d3s", "-s", script, web.url], capture_output=True,
                   check=True)
    text = subprocess.run(["wrk", "-t2", "-c64", "-d10s", "--latency", "-s", script, web.url],
                          capture_output=True, text=True, check=True).stdout
    rps = re.search(r"Requests/sec:\s+([\d.]+)", text).group(1)
    p99 = re.search(r"99%\s+(\S+)", text).group(1)
    errors = re.search(r"(Non-2xx.*|Socket errors.*)", text)
    return f"{float(rps):,.0f} requests/s, 99th percentile {p99}" + (
        f" ({errors.group(1)})" if errors else "")


async def viewer(host, port, game, first, updated):
    reader, writer = await asyncio.open_connection(host, port)
    writer.write(f"GET /api/events?game={game} HTTP/1.1\r\nHost: {host}\r\n\r\n".encode())
    await writer.drain()
    events = 0
    while True:
        line = await reader.readline()
        if not line:
            return
        if line.startswith(b"data:"):
            events += 1
            (first if events == 1 else updated).append(time.monotonic())
            if events == 2:
                writer.close()
                return


async def crowd(brindle, db, web, viewers, game, work):
    host, port = web.url.split("//")[1].split(":")
    before = web.rss_kib()
    first, updated = [], []
    tasks = []
    for _ in range(viewers):
        tasks.append(asyncio.create_task(viewer(host, int(port), game, first, updated)))
        if len(tasks) % 500 == 0:
            await asyncio.sleep(0.05)
    while len(first) < viewers:
        await asyncio.sleep(0.1)
    await asyncio.sleep(1)
    per_viewer = (web.rss_kib() - before) / viewers
    loop = asyncio.get_running_loop()
    page_ms = await loop.run_in_executor(None, fetch_ms, web.url + "/")
    line = os.path.join(work, "best.txt")
    with open(line, "w") as out:
        out.write(pdus.score_deliver(brindle, game, 99999999, "ZED", sender="+447700900999",
                                     when=(2026, 12, 7, 10, 0, 0, 0)) + "\n")
    committed = time.monotonic()
    await loop.run_in_executor(None, imported, brindle, db, line)
    page_during = await loop.run_in_executor(None, fetch_ms, web.url + "/")
    deadline = time.monotonic() + 30
    while len(updated) < viewers and time.monotonic() < deadline:
        await asyncio.sleep(0.01)
    for task in tasks:
        task.cancel()
    late = sorted(t - committed for t in updated)
    return (f"{len(updated)} of {viewers} viewers had the new score, the last after "
            f"{late[-1] * 1000:.0f} ms (median {statistics.median(late) * 1000:.0f} ms); "
            f"GET / {page_ms:.1f} ms while they waited, {page_during:.1f} ms during the push; "
            f"{per_viewer:.1f} KiB per idle viewer")


def bench_store(brindle, label, db_for, work, scores, viewers):
    # Players send many scores: 200 handles over 1,000 games, or 100,000 in one game.
    for games, handles, name in [(1000, 200, "1,000 games"), (1, 100000, "one game")]:
        lines = os.path.join(work, f"archive-{games}.txt")
        if not os.path.exists(lines):
            archive(brindle, lines, scores, games, min(handles, scores))
        db = db_for(f"g{games}")
        took, summary = imported(brindle, db, lines)
        print(f"== {label}, {scores:,} scores in {name}: imported in {took:.1f} s "
              f"({scores / took:,.0f} lines/s): {summary}")
        web = Web(brindle, db, work)
        try:
            print(f"   /api/scores: {wrk(web, games, work)}")
            front = sorted(fetch_ms(web.url + "/") for _ in range(20))
            print(f"   the front page: median {statistics.median(front):.1f} ms, "
                  f"worst {front[-1]:.1f} ms")
            if games == 1000 and viewers:
                print("   " + asyncio.run(crowd(brindle, db, web, viewers, 7, work)))
        finally:
            web.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("brindle", nargs="?", default="build/release/tools/brindle")
    parser.add_argument("--scores", type=int, default=1000000)
    parser.add_argument("--viewers", type=int, default=10000)
    parser.add_argument("--stores", default="sqlite,postgres")
    args = parser.parse_args()
    brindle = os.path.realpath(args.brindle)
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    work = tempfile.mkdtemp(prefix="brindle-crowd-bench-")
    os.chmod(work, 0o755)
    pg = os.path.join(work, "pg")
    try:
        if "sqlite" in args.stores:
            bench_store(brindle, "SQLite", lambda name: os.path.join(work, name + ".db"), work,
                        args.scores, args.viewers)
        if "postgres" in args.stores:
            subprocess.run(["sh", CLUSTER, "start", pg], check=True)

            def made(name):
                subprocess.run(["createdb", "-h", pg, "-U", "brindle", name], check=True)
                return f"host={pg} user=brindle dbname={name}"
            bench_store(brindle, "PostgreSQL", made, work, args.scores, args.viewers)
    finally:
        subprocess.run(["sh", CLUSTER, "stop", pg], capture_output=True)
        shutil.rmtree(work, ignore_errors=True)
    print(f"on {os.cpu_count()} cores, {time.strftime('%Y-%m-%d')}", file=sys.stderr)


if __name__ == "__main__":
    main()
