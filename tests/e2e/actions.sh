#!/usr/bin/env bash
# Actions: the commands widgets run when clicked, toggled or changed, and timers. Each
# action appends to a log in the case's directory, quillet's working directory.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_session "$@"

# log_is FILE WANT: FILE holds exactly the lines WANT (none when WANT is empty).
log_is() {
  if [[ -z $2 ]]; then
    [[ ! -e $1 ]] || { note "$1 exists: $(cat "$1")"; return 1; }
    return 0
  fi
  file_is "$1" "$1" "$2
"
}

# Every trigger in one dialog: a button whose command sees the values of the moment, after a
# missing program, an empty command and one that cannot be split; a check box; a combo box.
# Whatever the actions print, on either stream, stays out of quillet's output.
triggers() {
  DIALOG=$(<"$E2E_SRC/data/actions.xml")
  export DIALOG
  # shellcheck disable=SC2016 # meant literally
  run_dialog click 'push button:Add' lines clicks.log 1 act 'push button:Add' lines clicks.log 2 \
    settext text 'a $(b) "c"' act 'push button:Add' lines clicks.log 3 \
    click 'check box:Tick' lines toggles.log 1 click 'check box:Tick' lines toggles.log 2 \
    act 'check box:Tick' lines toggles.log 3 \
    select 'combo box' 2 lines changes.log 1 select 'combo box' 1 lines changes.log 2 \
    act 'push button:OK' || return 1
  # shellcheck disable=SC2016
  ended 0 'EXIT="OK"
HOST="a \$(b) \"c\""
TICK="true"
PICK="second"
' && log_is clicks.log 'click example.org
click example.org
click a $(b) "c"' && log_is toggles.log $'toggled\ntoggled\ntoggled' &&
    log_is changes.log $'changed\nchanged'
}

# heartbeat_timer beats about once a second; TIMER1 has no "timer" in its name, as case counts.
timers() {
  DIALOG=$(<"$E2E_SRC/data/timers.xml")
  export DIALOG
  local start
  start=$(date +%s.%N)
  run_dialog lines beats.log 3 act 'push button:OK' || return 1
  ended 0 'EXIT="OK"
' && log_is never.log '' || return 1
  # From start to the third beat: three periods of a second, less the first one's slack.
  awk -v start="$start" 'NR == 3 { d = $1 - start; if (d < 1.5 || d > 6) {
      printf "# third beat %.2f s after the start\n", d > "/dev/stderr"; exit 1 } }
    NR > 1 { d = $1 - prev; if (d < 0.5 || d > 1.6) {
      printf "# beats %.2f s apart\n", d > "/dev/stderr"; exit 1 } } { prev = $1 }' beats.log
}

# OK pressed while a slow action runs: the typed text is read back at once, and the action's
# work is done when quillet has ended.
slow_action() {
  DIALOG=$(<"$E2E_SRC/data/slow-action.xml")
  export DIALOG
  run_dialog act 'push button:Slow' focus text type typed act 'push button:OK' || return 1
  ended 0 'EXIT="OK"
NAME="typed"
' && log_is slow.log done || return 1
  local answered finished
  answered=$(stat -c %.3Y out) finished=$(stat -c %.3Y slow.log)
  awk -v a="$answered" -v f="$finished" 'BEGIN { if (f - a < 1) {
    printf "# answered %.2f s before the action ended\n", f - a > "/dev/stderr"; exit 1 } }'
}

# Two quick clicks and a timer slower than its period share one queue: every list runs whole
# before the next starts, and the timer's ticks are skipped while its list runs.
queued_actions() {
  DIALOG=$(<"$E2E_SRC/data/queued.xml")
  export DIALOG
  run_dialog act 'push button:Twice' act 'push button:Twice' lines runs.log 8 \
    act 'push button:OK' || return 1
  ended 0 'EXIT="OK"
' || return 1
  awk '{ kind = $1 } kind !~ /-end$/ { if (open != "") bad = 1; open = kind; starts[kind]++
      if (kind == "tick") { if (last != "" && $2 - last < 1.9) bad = 1; last = $2 } }
    kind ~ /-end$/ { if (kind != open "-end") bad = 1; open = "" }
    END { if (bad || open != "" || starts["click"] != 2 || starts["tick"] < 2) {
      print "# runs overlapped or went missing:" > "/dev/stderr"; exit 1 } }' runs.log ||
    { sed 's/^/#   /' runs.log >&2; return 1; }
}

# Feeds start once the window shows (drive.py writes ./shown when it finds it) and update
# their widgets line by line; the dialog answers with what they left.
feeds() {
  DIALOG=$(<"$E2E_SRC/data/feeds-live.xml")
  export DIALOG
  run_dialog name 'push button:OK' shown rows table 5 lines progress.log 1 sleep 0.5 \
    name 'label:fed <i>text</i>' text.log act 'push button:OK' || return 1
  same status "$STATUS" 0 && file_is stderr err '' &&
    same stdout "$(sort out | tr '\n' ' ')" 'DONE="1" EXIT="OK" HOST="second <b>" NUMBERS="" '
}

# Closed while feeds run: every process they started is gone with quillet.
feeds_closed() {
  DIALOG=$(<"$E2E_SRC/data/feeds-closed.xml")
  export DIALOG
  run_dialog lines feed.log 3 close || return 1
  ended 0 '' || return 1
  local pid
  for pid in $(cat feed.log); do
    await_exit "$pid" 20 || { note "feed process $pid is still there"; return 1; }
  done
}

check "actions run on each click, toggle and change, see the values of the moment, print nothing" \
  triggers
check "a *timer* action runs about once a second; TIMER1's never" timers
check "OK during a slow action answers at once; the action has ended with quillet" slow_action
check "clicks and a slow timer queue up, one list at a time; the timer never overlaps" \
  queued_actions
check "feeds fill a progress bar, an entry, a text and a list after the window shows" feeds
check "closing the window ends every feed with all it started" feeds_closed
done_testing
