#!/usr/bin/env python3
# `brindle scores` and `brindle messages` as a terminal shows them, and the --game-id and --db
# texts the readers refuse. Usage: cli_scores_test.py BRINDLE
import json
import os
import re
import sqlite3
import subprocess
import sys
import tempfile

BRINDLE = sys.argv[1]
RAW_CONTROL = re.compile("[\x00-\x09\x0b-\x1f\x7f-\x9f]")  # anything but the line end


def run(*args):
    return subprocess.run([BRINDLE, *args], capture_output=True, timeout=60, cwd=TMP)


def text(*args):
    result = run(*args)
    assert result.returncode == 0, result
    out = result.stdout.decode("utf-8")
    assert not RAW_CONTROL.search(out), out
    return out


def main():
    # The service makes the schema (the port is not there, so it fails right after), then rows
    # go in as a phone could have sent them (key_hash 0: no one looks them up), and onto the
    # board as the service ranks them.
    result = run("serve", "--once", "--port", os.path.join(TMP, "no-port"), "--db", DB)
    assert result.returncode == 1 and b"cannot open the port" in result.stderr, result
    with sqlite3.connect(DB) as db:
        db.executemany(
            "INSERT INTO messages (status, reason, sender, sent_at, sent_at_utc, pdu, received,"
            " game_id, fixed, score, handle, key_hash) VALUES (?, ?, ?, ?, 1, ?, ?, 42, 1, ?, ?, 0)",
            [("score", None, "+441", "t", "P1", "", 30, b"\x1b]0;owned\x07"),
             ("score", None, "+442", "t", "P2", "", 20, b"\xe9t\xe9"),
             ("score", None, "+443\x1b[2J", "t", "P3", "", 10, b"\x9b2J"),
             ("rejected", "bad \x1b[2J", "", "", "JUNK", "SM 3 2026-12-07T13:49:05Z", 0, None),
             ("score", None, "+444", "t", "P5", "", 5, b"\xd1and\xfa" + b"-" * 16)])
        # Each handle once, so each score is its handle's best on the board.
        db.execute("INSERT INTO best_scores (game_id, score, sent_at_utc, message_id, handle,"
                   " sender, sent_at) SELECT game_id, score, sent_at_utc, id, handle, sender,"
                   " sent_at FROM messages WHERE status = 'score'")

    board = text("scores", "--db", DB).splitlines()[2:]
    for shown in ["\\x1B]0;owned\\x07", "\\x9B2J", "+443\\x1B[2J"]:
        assert shown in "".join(board), board
    assert len({row.index("+44") for row in board}) == 1, f"columns not aligned: {board}"
    listed = text("messages", "--db", DB)
    assert "bad \\x1B[2J" in listed, listed
    lines = run("messages", "--db", DB, "--json").stdout.splitlines()
    assert [json.loads(line)["received"] for line in lines] == [
        None, None, None, "SM 3 2026-12-07T13:49:05Z", None], lines

    # Moderation and names from the command line: what each says, its status, and the log.
    for args, status, said in [
            (["scores", "--db", DB, "hide", "2"], 0, "message 2 hidden"),
            (["scores", "hide", "2", "--db", DB], 0, "message 2 was hidden already"),
            (["scores", "--db", DB, "unhide", "4"], 1, ""),  # a rejected message, not a score
            (["senders", "--db", DB, "block", "+441"], 0, "+441 blocked"),
            (["games", "--db", DB, "set", "42", "T\u00e9tra"], 0, ""),
            (["games", "--db", DB, "set", "42", "T\x01"], 2, ""),
            (["games", "--db", DB, "set", "0x2A", "T"], 2, "")]:
        result = run(*args)
        assert result.returncode == status and said in result.stdout.decode(), (args, result)
    board = text("scores", "--db", DB)
    assert board.startswith("Game 42: T\u00e9tra\n") and "\u00e9t\u00e9" not in board, board
    assert "owned" not in board, "the blocked sender's score is hidden"
    listed = run("messages", "--db", DB, "--json").stdout.splitlines()
    assert [json.loads(line).get("hidden") for line in listed] == [
        "blocked sender", "operator", None, None, None], listed
    log = [line.split()[1:] for line in text("moderation", "--db", DB).splitlines()]
    assert log == [["hide", "message", "2"], ["block", "+441:", "1", "score", "hidden"]], log

    # The web's reader takes the text (its own test has the numbers), not CLI11, which would also
    # take a hexadecimal number, a sign or blanks.
    for game, status in [("-2147483648", 0), ("", 2), ("0x2A", 2), ("+42", 2), (" 42", 2),
                         ("42 ", 2)]:
        result = run("scores", "--db", DB, "--game-id=" + game)
        assert result.returncode == status, (game, result)
        assert status == 0 or (result.stdout == b"" and result.stderr.count(b"\n") == 1), result

    # A database that is not there, or a PostgreSQL location that cannot be used, is an error,
    # never a file made.
    before = sorted(os.listdir(TMP))
    for db in ["none.db", "service=brindle_no_such_service", "  dbname=scores host=/nonexistent"]:
        for args in [["scores"], ["messages"], ["web", "--listen", "127.0.0.1:0"]]:
            result = run(*args, "--db", db)
            assert result.returncode == 2 and result.stderr, (args, db, result)
    assert sorted(os.listdir(TMP)) == before, "a database file was made"


with tempfile.TemporaryDirectory(prefix="cli-scores-") as TMP:
    DB = os.path.join(TMP, "scores.db")
    main()
print("passed")
