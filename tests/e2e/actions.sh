#!/usr/bin/env bash
# Actions: the commands widgets run when clicked, toggled or changed, and timers. Each
# action appends to a log in the case's directory, quillet's working directory.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_session "$@"

# heartbeat_timer beats about once a second; the text TIMER1 has no "timer" in its name, as
# case counts, and never runs its action.
timers() {
  program timers.xml
  local start
  start=$(date +%s.%N)
  run_dialog lines beats.log 3 act 'push button:OK' || return 1
  ended 0 'EXIT="OK"
' && same "TIMER1 ran" "$(compgen -G never.log)" '' || return 1
  # From start to the third beat: three periods of a second, less the first one's slack, and
  # a start-up that takes seconds under the sanitizers.
  awk -v start="$start" -v slow="${E2E_SLOW:-1}" 'NR == 3 { d = $1 - start
    if (d < 1.5 || d > 6 * slow) {
      printf "# third beat %.2f s after the start\n", d > "/dev/stderr"; exit 1 } }
    NR > 1 { d = $1 - prev; if (d < 0.5 || d > 1.6) {
      printf "# beats %.2f s apart\n", d > "/dev/stderr"; exit 1 } } { prev = $1 }' beats.log
}

# OK pressed while a slow action runs: the typed text is read back at once, and the action's
# work is done when quillet has ended.
slow_action() {
  program slow-action.xml
  run_dialog act 'push button:Slow' focus text type typed act 'push button:OK' || return 1
  ended 0 'EXIT="OK"
NAME="typed"
' && file_is "slow action" slow.log $'done\n' || return 1
  local answered finished
  answered=$(stat -c %.3Y out) finished=$(stat -c %.3Y slow.log)
  awk -v a="$answered" -v f="$finished" 'BEGIN { if (f - a < 1) {
    printf "# answered %.2f s before the action ended\n", f - a > "/dev/stderr"; exit 1 } }'
}

# Clicks and a timer slower than its period share one queue: every list runs whole before
# the next starts, and the ticks that fall due while the timer's list runs are skipped, so a
# click waits for one list at most.
queued_actions() {
  program queued.xml
  run_dialog act 'push button:Twice' act 'push button:Twice' lines runs.log 9 \
    act 'push button:Twice' lines runs.log 12 act 'push button:OK' || return 1
  ended 0 'EXIT="OK"
' || return 1
  awk '{ kind = $1 } kind !~ /-end$/ { if (open != "") bad = 1; open = kind }
    kind ~ /-end$/ { if (kind != open "-end") bad = 1; open = "" }
    NR == 11 && kind != "click" { bad = 1 } END { exit bad }' runs.log ||
    { note "runs overlapped or piled up:" && sed 's/^/#   /' runs.log >&2; return 1; }
}

# Closed while feeds run: every process they started is gone with quillet, one in a session
# of its own too.
feeds_closed() {
  program feeds-closed.xml
  run_dialog lines feed.log 4 close || return 1
  ended 0 '' || return 1
  local pid
  for pid in $(cat feed.log); do
    await_exit "$pid" 20 && continue
    note "feed process $pid is still there"
    kill -KILL "$pid"
    return 1
  done
}

# 20 characters typed into an entry whose change action takes half a second: while its list
# waits to start, more keys queue nothing, so it runs a few times, the last with every key;
# none is left to run two seconds later.
bursts() {
  program burst.xml
  run_dialog focus text type abcdefghijklmnopqrst lines done.log 1 sleep 2 act 'push button:OK' &&
    ended 0 'EXIT="OK"
WORD="abcdefghijklmnopqrst"
' || return 1
  (($(wc -l <typed.log) <= 4)) || { note "ran for each of:" $(<typed.log); return 1; }
}

# A list takes the window's spare height from the start: it keeps its size, and the OK button
# below it its place, while a feed adds rows.
list_fills() {
  export DIALOG='<window><vbox><list variable="L"><feed>until [ -e shown ]; do sleep 0.05; done
seq 300</feed></list><button ok></button></vbox></window>'
  run_dialog size table before name 'push button:OK' shown rows table 300 size table after \
    act 'push button:OK' && same "the list's size once fed" "$(<after)" "$(<before)"
}

cases actions.cases
check "a *timer* action runs about once a second; TIMER1's never" timers
check "OK during a slow action answers at once; the action has ended with quillet" slow_action
check "clicks and a slow timer queue up, one list at a time; the timer never piles up" \
  queued_actions
check "closing the window ends every feed with all it started" feeds_closed
check "a fed list keeps the size it took from the window's spare height" list_fills
check "20 keys run an entry's change action a few times, the last with the whole text" bursts
done_testing
