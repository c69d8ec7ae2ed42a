#!/usr/bin/env python3
"""How fast `brindle serve` takes messages off a phone. Not a test: it prints figures.

Usage: serve_bench.py BRINDLE [MESSAGES] [ANNOUNCEMENTS]

1. Throughput: `brindle phone` holds MESSAGES (default 1000) score messages; the wall time of
   `brindle serve --once` from start to exit (initialisation, listing, one commit, a delete
   per message, shutdown), and the share of it the service spent waiting for the phone's
   bytes (its own summary line).
2. Latency: a phone played here on a pseudo-terminal announces ANNOUNCEMENTS (default 100)
   messages one at a time with +CMTI and answers at once; the time from writing the +CMTI to
   the service's log line for the stored message (written right after the commit), median
   and worst.
"""
import os
import pty
import re
import select
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import tty

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "service"))
import pdus  # noqa: E402


def score_pdus(brindle, first, count):
    # Score messages `first` to `first + count - 1` as phones list them received.
    numbers = range(first, first + count)
    return pdus.score_delivers(brindle, [(i % 97, i, f"P{i:03d}") for i in numbers])


def throughput(brindle, count, tmp):
    inbox = os.path.join(tmp, "inbox.txt")
    with open(inbox, "w", encoding="ascii") as f:
        f.write("".join(pdu + "\n" for pdu in score_pdus(brindle, 0, count)))
    phone = subprocess.Popen([brindle, "phone", "--capacity", str(max(count, 1)), "--inbox",
                              inbox, "--timeout", "300"],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        port = phone.stdout.readline().strip()
        db = os.path.join(tmp, "bench.db")
        start = time.monotonic()
        result = subprocess.run([brindle, "serve", "--once", "--port", port, "--db", db],
                                capture_output=True, text=True, timeout=300)
        elapsed = time.monotonic() - start
    finally:
        phone.send_signal(signal.SIGTERM)
        phone.communicate(timeout=10)
    summary = result.stderr.strip().splitlines()[-1]
    stored = result.stderr.count("stored #")
    match = re.search(r"(\d+) ms, (\d+) ms of it waiting", summary)
    inside, waited = (int(match.group(1)), int(match.group(2))) if match else (0, 0)
    print(f"{count} messages held: serve --once exit {result.returncode}, {stored} stored, "
          f"{elapsed * 1000:.0f} ms from start to exit, {count / elapsed:.0f} messages/s")
    print(f"  inside the service: {inside} ms, of it waiting for the phone's bytes: {waited} ms "
          f"({100 * waited / max(inside, 1):.0f} %)")


def latency(brindle, count, tmp):
    master, slave = pty.openpty()
    tty.setraw(slave)
    port = os.ttyname(slave)
    announced = score_pdus(brindle, 1000, count)
    serve = subprocess.Popen([brindle, "serve", "--port", port, "--db",
                              os.path.join(tmp, "latency.db"), "--poll", "3600"],
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    os.set_blocking(serve.stderr.fileno(), False)
    held = {}
    log = b""
    samples = []

    def answer(command):
        if command.startswith("AT+CMGL"):
            return "\r\nOK\r\n"
        if command.startswith("AT+CMGR="):
            index = int(command[8:])
            if index not in held:
                return "\r\n+CMS ERROR: 321\r\n"
            octets = len(held[index]) // 2 - 1  # TPDU octets, without the service-centre field
            return f"\r\n+CMGR: 0,,{octets}\r\n{held[index]}\r\n\r\nOK\r\n"
        if command.startswith("AT+CMGD="):
            held.pop(int(command[8:]), None)
        return "\r\nOK\r\n"

    def pump(until, stop_on_log=None):
        """Answers the service until `until`, or until its log has `stop_on_log` lines."""
        nonlocal log
        buffer = b""
        while time.monotonic() < until:
            ready, _, _ = select.select([master, serve.stderr], [], [], 0.05)
            if serve.stderr in ready:
                log += serve.stderr.read() or b""
                if stop_on_log is not None and log.count(b"stored #") >= stop_on_log:
                    return time.monotonic()
            if master in ready:
                buffer += os.read(master, 4096)
                while b"\r" in buffer:
                    line, buffer = buffer.split(b"\r", 1)
                    command = line.decode("ascii", "replace").strip()
                    if command:
                        os.write(master, answer(command).encode("ascii"))
        return None

    try:
        pump(time.monotonic() + 2)  # initialisation and the first, empty listing
        for i in range(count):
            index = i % 50 + 1
            held[index] = announced[i]
            sent = time.monotonic()
            os.write(master, f"\r\n+CMTI: \"SM\",{index}\r\n".encode("ascii"))
            stored = pump(sent + 5, stop_on_log=i + 1)
            if stored is None:
                print(f"announcement {i}: not stored within 5 s")
                break
            samples.append((stored - sent) * 1000)
            pump(time.monotonic() + 0.02)  # let the delete finish
    finally:
        serve.send_signal(signal.SIGTERM)
        serve.communicate(timeout=15)
        os.close(master)
        os.close(slave)
    if samples:
        print(f"{len(samples)} announcements: +CMTI to commit median "
              f"{statistics.median(samples):.1f} ms, worst {max(samples):.1f} ms")


def main():
    brindle = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    announcements = int(sys.argv[3]) if len(sys.argv) > 3 else 100
    with tempfile.TemporaryDirectory() as tmp:
        throughput(brindle, count, tmp)
        latency(brindle, announcements, tmp)


if __name__ == "__main__":
    main()
