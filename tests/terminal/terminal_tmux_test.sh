#!/usr/bin/env bash
# The real terminal dialog of `brindle send`, driven in tmux at 80x24 against `brindle phone`:
# Esc cancels (status 1, nothing sent); Ctrl-C and SIGTERM give the terminal back; a typed
# handle and Enter show the title, the progress lines, the pause bar and the success box;
# Enter on the box ends with status 0, the screen given back and the phone holding the
# message. Every wait is bounded; the tmux server and the phone always go.
set -u
BRINDLE=$1
WORK=$(mktemp -d)
SOCKET="brindle-test-$$"
SESSION=dialog
PHONE_PID=
FAILED=0

cleanup() {
  tmux -L "$SOCKET" kill-server 2>/dev/null
  if [ -n "$PHONE_PID" ]; then
    kill "$PHONE_PID" 2>/dev/null
    wait "$PHONE_PID" 2>/dev/null
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; FAILED=1; }
screen() { tmux -L "$SOCKET" capture-pane -p -t "$SESSION"; }
keys() { tmux -L "$SOCKET" send-keys -t "$SESSION" "$@"; }

# Waits up to $2 seconds for the screen to show the fixed text $1.
wait_for() {
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    screen | grep -qF -- "$1" && return 0
    sleep 0.2
  done
  echo "--- screen while waiting for '$1':"
  screen
  return 1
}

start_phone() {
  "$BRINDLE" phone --count 1 --timeout 120 >"$WORK/phone.out" 2>"$WORK/phone.err" &
  PHONE_PID=$!
  local deadline=$((SECONDS + 20))
  until [ -s "$WORK/phone.out" ] || [ $SECONDS -ge $deadline ]; do sleep 0.1; done
  PTY=$(head -n 1 "$WORK/phone.out")
  [ -n "$PTY" ] || { echo "FAIL: the phone did not start"; exit 1; }
}

run_send() {  # the send in the pane, then its status on the restored screen
  keys "clear; $BRINDLE send --game Quarry --game-id 7 --score -5 $* --port $PTY; echo EXIT=\$?" Enter
}

# The terminal is back as the shell had it: no dialog, echo and line editing on.
check_restored() {  # $1: expected status, or "" where the shell gives none
  if [ -n "$1" ]; then
    wait_for "EXIT=$1" 10 || fail "status $1 expected"
  else
    sleep 1
  fi
  screen | grep -qF "Send Quarry highscores" && fail "dialog left on the screen"
  screen | grep -qE "[┌└│─]|lqq|mqq|qqk|qqj" && fail "box lines left on the screen"
  keys "clear; stty -a | tr ' ;' '\n\n' | grep -xE -- '-?(echo|icanon)' | tr '\n' ' '; echo MODES" Enter
  wait_for "MODES" 10 || fail "stty did not run"
  screen | grep -qF "icanon echo MODES" || fail "terminal modes not restored"
}

start_phone
tmux -L "$SOCKET" new-session -d -s "$SESSION" -x 80 -y 24 \
  "env -i PATH=$PATH TERM=screen bash --norc --noprofile"

# 1. Esc is Cancel: nothing sent, status 1.
run_send --handle Bob
wait_for "Send Quarry highscores" 20 || fail "no dialog title"
screen | grep -qF -- "-5" || fail "score not shown"
screen | grep -qF "Bob" || fail "prefilled handle not shown"
screen | grep -qE "\bOK\b|Reset" && fail "a hidden button is drawn"
keys Escape
check_restored 1

# 2. Ctrl-C and SIGTERM while the dialog is open.
run_send --handle Bob
wait_for "Send Quarry highscores" 20 || fail "no dialog title"
# Ctrl-C reaches the shell too, which then drops the rest of its line: no status to see.
keys C-c
check_restored ""
for signal in INT TERM; do
  # Bash gives up its command line when a child dies of SIGINT, so a wrapper tells the status.
  keys "clear; python3 -c 'import subprocess, sys; r = subprocess.call(sys.argv[1:]); print(\"EXIT=%d\" % (128 - r if r < 0 else r))' sh -c 'echo \$\$ >$WORK/send.pid; exec $BRINDLE send --game Quarry --game-id 7 --score -5 --port $PTY'" Enter
  wait_for "Send Quarry highscores" 20 || fail "no dialog title"
  kill -"$signal" "$(cat "$WORK/send.pid")"
  check_restored $((128 + $(kill -l "$signal")))
done

# 3. Type a handle (replacing the prefilled one), Enter: the whole send.
run_send --handle Bob
wait_for "Send Quarry highscores" 20 || fail "no dialog title"
keys -l "Ace"
keys Enter
wait_for "Opening IR Port.." 10 || fail "no opening line"
wait_for "Initializing the phone.." 10 || fail "no initialising line"
wait_for "[####" 10 || fail "no progress bar during a pause"
wait_for "Sending the highscore SMS.." 20 || fail "no sending line"
screen | grep -qF "Preparing the highscore SMS.." || fail "no preparing line"
wait_for "Your highscore has been sent successfully!" 20 || fail "no success box"
screen | grep -qF "Success!" || fail "no success caption"
keys Enter
check_restored 0

wait "$PHONE_PID" 2>/dev/null
PHONE_PID=
grep -qF 'game id 7, score -5, handle "Ace"' "$WORK/phone.out" ||
  fail "the phone did not decode the message: $(cat "$WORK/phone.out" "$WORK/phone.err")"

[ $FAILED -eq 0 ] && echo passed
exit $FAILED
