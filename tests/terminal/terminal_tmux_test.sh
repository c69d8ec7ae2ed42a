#!/usr/bin/env bash
# The real terminal dialog of `brindle send`, driven in tmux at 80x24 against `brindle phone`:
# Esc cancels (status 1), Ctrl-C and SIGTERM give the terminal back, and a typed handle and
# Enter show the stages, the pause bar and the success box, after which the phone holds the
# message. Every wait is bounded; the tmux server and the phone always go.
set -u
BRINDLE=$1
WORK=$(mktemp -d)
SOCKET="brindle-test-$$"
PHONE_PID=
FAILED=0

cleanup() {
  tmux -L "$SOCKET" kill-server 2>/dev/null
  [ -n "$PHONE_PID" ] && kill "$PHONE_PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; FAILED=1; }
screen() { tmux -L "$SOCKET" capture-pane -p -t dialog; }
keys() { tmux -L "$SOCKET" send-keys -t dialog "$@"; }

wait_for() {  # the pattern $1 on the screen within $2 seconds
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    screen | grep -qE -- "$1" && return 0
    sleep 0.2
  done
  echo "--- screen while waiting for '$1':"
  screen
  return 1
}

send() {  # the send in the pane, by way of sh so that its pid is known
  keys "clear; sh -c 'echo \$\$ >$WORK/pid; exec $BRINDLE send --game Quarry --game-id 7 --score -5 --handle Bob --port $PTY'; echo EXIT=\$?" Enter
  wait_for "Send Quarry highscores" 20 || fail "no dialog title"
}

restored() {  # $1: the status, or "" where the shell shows none
  if [ -n "$1" ]; then wait_for "EXIT=$1" 10 || fail "status $1 expected"; else sleep 1; fi
  screen | grep -qF "Send Quarry highscores" && fail "dialog left on the screen"
  keys "clear; stty -a | tr ' ;' '\n\n' | grep -xE -- '-?(echo|icanon)' | tr '\n' ' '; echo MODES" Enter
  wait_for "^icanon echo MODES" 10 || fail "terminal modes not restored"
}

"$BRINDLE" phone --count 1 --timeout 120 >"$WORK/phone.out" 2>"$WORK/phone.err" &
PHONE_PID=$!
for _ in $(seq 100); do [ -s "$WORK/phone.out" ] && break; sleep 0.1; done
PTY=$(head -n 1 "$WORK/phone.out")
[ -n "$PTY" ] || { echo "FAIL: the phone did not start"; exit 1; }
tmux -L "$SOCKET" new-session -d -s dialog -x 80 -y 24 \
  "env -i PATH=$PATH TERM=screen bash --norc --noprofile"

send
screen | grep -qF -- "-5" || fail "score not shown"
screen | grep -qF "Bob" || fail "prefilled handle not shown"
screen | grep -qE "\bOK\b|Reset" && fail "a hidden button is drawn"
keys Escape
restored 1

send
keys C-c  # reaches the shell too, which then drops the rest of its line
restored ""

send
kill -TERM "$(cat "$WORK/pid")"
restored 143

send
keys -l "Ann"  # replaces the prefilled handle
keys Enter
wait_for "Initializing the phone.." 10 || fail "no initialising line"
wait_for "\\[####" 10 || fail "no progress bar during a pause"
wait_for "Your highscore has been sent successfully!" 30 || fail "no success box"
screen | grep -qF "Sending the highscore SMS.." || fail "no sending line"
keys Enter
restored 0

wait "$PHONE_PID"
PHONE_PID=
grep -qF 'game id 7, score -5, handle "Ann"' "$WORK/phone.out" ||
  fail "the phone did not decode the message: $(cat "$WORK/phone.out" "$WORK/phone.err")"
[ $FAILED -eq 0 ] && echo passed
exit $FAILED
