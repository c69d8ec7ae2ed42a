#!/usr/bin/env bash
# `brindle phone` driven from outside PhoneLink: a whole send with Python's serial module, then
# one with socat. Usage: outside_tools_test.sh BRINDLE
set -u
brindle=$1
python=/usr/bin/python3  # the system's, which has the serial module
work=$(mktemp -d)
phone_pid=

cleanup() {
  if [ -n "$phone_pid" ]; then
    kill "$phone_pid" 2>/dev/null
    wait "$phone_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  for f in "$work"/*.out "$work"/*.err; do
    [ -f "$f" ] && { echo "--- $f"; cat -A "$f"; }
  done
  exit 1
}

# Starts the phone with a link at $work/$1 and waits (10 s at most) for the link.
start_phone() {
  "$brindle" phone --link "$work/$1" --log "$work/$1.log" --timeout 40 "${@:2}" \
    >"$work/$1.out" 2>"$work/$1.err" &
  phone_pid=$!
  for _ in $(seq 100); do
    [ -L "$work/$1" ] && return 0
    sleep 0.1
  done
  fail "no link from the phone"
}

# Waits (10 s at most) for the phone to end by itself; fails on any status but 0.
wait_phone() {
  for _ in $(seq 100); do
    if ! kill -0 "$phone_pid" 2>/dev/null; then
      wait "$phone_pid"
      local status=$?
      phone_pid=
      [ "$status" -eq 0 ] || fail "phone exit status $status"
      return 0
    fi
    sleep 0.1
  done
  fail "the phone did not end by itself"
}

pdu=$("$brindle" encode --game-id 42 --score 12345 --handle Ann --json |
  "$python" -c 'import json, sys; print(json.load(sys.stdin)["pdu"])') || fail "brindle encode"
expected_line='SMS 1 to +123456789012: game id 42, score 12345, handle "Ann"'

# 1. Python serial: every answer exactly, then the phone ends after its one message.
start_phone py --count 1
"$python" - "$work/py" "$pdu" >"$work/python.out" 2>&1 <<'PY' || fail "python serial session"
import sys, time
import serial

link, pdu = sys.argv[1], sys.argv[2].encode()
port = serial.Serial(link, 115200, timeout=0.2)

def exchange(command, answer):
    port.write(command)
    got = b""
    deadline = time.monotonic() + 3
    while len(got) < len(answer) and time.monotonic() < deadline:
        got += port.read(len(answer) - len(got))
    time.sleep(0.1)
    got += port.read(100)  # nothing more may follow
    if got != answer:
        sys.exit(f"{command!r}: got {got!r}, expected {answer!r}")

exchange(b"ATZ\r", b"ATZ\r\r\nOK\r\n")
exchange(b"ATE0\r", b"ATE0\r\r\nOK\r\n")
exchange(b"AT+CMGF=0\r", b"\r\nOK\r\n")
exchange(b"AT+CMGS=51\r", b"\r\n> ")
exchange(pdu + b"\x1a", b"\r\n+CMGS: 1\r\n\r\nOK\r\n")
exchange(b"AT+CNMI=0,0\r", b"\r\nOK\r\n")
exchange(b"ATZ\r", b"\r\nOK\r\n")
port.close()
print("python serial session passed")
PY
wait_phone
[ "$(sed -n 2p "$work/py.out")" = "$expected_line" ] || fail "phone line after python"
[ ! -e "$work/py" ] || fail "link left behind"

# 2. socat: commands paced on stdin, the phone's bytes on stdout.
start_phone socat
{
  printf 'ATZ\r'; sleep 0.3
  printf 'ATE0\r'; sleep 0.3
  printf 'AT+CMGS=51\r'; sleep 0.3
  printf '%s\032' "$pdu"; sleep 0.5
} | timeout 20 socat -t 1 - "GOPEN:$work/socat,raw,echo=0" >"$work/socat-session.out" ||
  fail "socat session"
printf 'ATZ\r\r\nOK\r\nATE0\r\r\nOK\r\n\r\n> \r\n+CMGS: 1\r\n\r\nOK\r\n' >"$work/expected"
cmp "$work/expected" "$work/socat-session.out" || fail "socat transcript"
kill -TERM "$phone_pid"
wait_phone
[ "$(sed -n 2p "$work/socat.out")" = "$expected_line" ] || fail "phone line after socat"
[ ! -e "$work/socat" ] || fail "link left behind after SIGTERM"
echo "passed"
