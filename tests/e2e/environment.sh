#!/usr/bin/env bash
# Hostile surroundings rather than hostile markup: closed or full standard streams, a pipe
# nobody reads, a file size limit, signals while commands run, endless action output, names
# that steer the evaluating shell, long tags wrapped over lines. The answer arrives whole or
# the status says it did not; nothing is left running or lying around.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_session "$@"

SLOW=${E2E_SLOW:-1}

# A file size limit below the size of the layout: the copy is skipped, the dialog works.
size_limit() {
  local n
  DIALOG='<window><vbox>'
  for ((n = 0; n < 60; n++)); do DIALOG+="<entry variable=\"F$n\"></entry>"; done
  export DIALOG+='<button ok></button></vbox></window>'
  QUILLET_PREFIX=(prlimit --fsize=4096 --)
  run_dialog settext text#59 last act 'push button:OK' || return 1
  same status "$STATUS" 0 && file_is stderr err '' && grep -qx 'F59="last"' out &&
    same "files left" "$(ls)" $'err\nout'
}

check "a file size limit smaller than the layout: no copy, the dialog works" size_limit

# signalled SIGNAL [DIALOG]: the signal while an input command (or what DIALOG starts) runs
# ends quillet as it would have without a handler, silently, and the process whose number
# the command wrote to ./job (a background job) with it.
signalled() {
  export DIALOG=${2:-'<window><list variable="L"><input>sleep 60 & echo $! >job; wait</input>
</list></window>'}
  local reset=(env --default-signal="$1")
  [[ $1 != KILL ]] || reset=()
  "${reset[@]}" "$QUILLET" --program DIALOG >out 2>err &
  PID=$!
  await $((600 * SLOW)) test -s job || { note "no job"; stop; return 1; }
  kill -s "$1" "$PID"
  await_exit "$PID" || { kill -KILL "$PID"; wait "$PID"; note "quillet did not end"; return 1; }
  wait "$PID"
  STATUS=$?
  local job
  job=$(<job)
  # The job's group was signalled; give it a moment to go.
  await_exit "$job" 40 || { note "the input command still runs"; kill -KILL "$job"; return 1; }
  same status "$STATUS" $((128 + $(kill -l "$1"))) && file_is stdout out '' && file_is stderr err ''
}

check "SIGTERM while an input command runs: it ends too, status 143" signalled TERM
check "SIGINT while an input command runs: it ends too, status 130" signalled INT
check "SIGHUP while an input command runs: it ends too, status 129" signalled HUP
check "SIGTERM while a command that ignores it runs: SIGKILL after a grace" signalled TERM \
  '<window><list><input>trap "" TERM; sleep 60 & echo $! >job; wait</input></list></window>'
check "SIGKILL while a feed runs: the feed dies with quillet" signalled KILL \
  '<window><progressbar><feed>echo $$ >job; exec sleep 60</feed></progressbar></window>'
check "SIGTERM with 64 feeds ended and a 65th running: the 65th ends too" signalled TERM \
  "<window><vbox>$(printf '<progressbar><feed>:</feed></progressbar>%.0s' {1..64})
<progressbar><feed>sleep 60 &amp; echo \$! >job; wait</feed></progressbar></vbox></window>"

# A signal while the layout copy is written leaves no temporary file: the layout (as large
# as input commands allow) takes long enough to write for the write to be caught.
signalled_writing() {
  export DIALOG='<window><list variable="L"><input>yes "$(printf %0150d 0)" | head -n 99999</input>
</list></window>'
  "$QUILLET" --program DIALOG >out 2>err &
  PID=$!
  local i temp=
  for ((i = 0; i < 6000 * SLOW; i++)); do
    temp=$(compgen -G 'debug_generated_layout.xml.*') && break
    exited "$PID" && break
    sleep 0.005
  done
  kill -TERM "$PID"
  await_exit "$PID" $((400 * SLOW)) || { stop; return 1; }
  wait "$PID"
  STATUS=$?
  [[ -n $temp ]] || { note "the copy was never seen being written"; return 1; }
  # Under load the write may just have ended when the signal comes: the copy may be there,
  # never a temporary one.
  same status "$STATUS" 143 && file_is stdout out '' &&
    same "temporary files left" "$(compgen -G 'debug_generated_layout.xml.*')" ''
}

check "SIGTERM while the layout copy is written: no temporary file left" signalled_writing

# An action that prints without end: its output goes nowhere, quillet's memory stays small,
# and a signal ends the action with it.
endless_action() {
  export DIALOG='<window><vbox><button variable="GO"><label>Go</label><action>yes</action>
</button></vbox></window>'
  QUILLET_PREFIX=(env --default-signal=INT)
  start
  drive "$PID" click 'push button:Go' || { stop; return 1; }
  sleep 3
  local rss yes_pid
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$PID/status")
  yes_pid=$(pgrep -P "$PID" -x yes)
  kill -INT "$PID"
  await_exit "$PID" || { stop; return 1; }
  wait "$PID"
  STATUS=$?
  [[ -n $yes_pid ]] || { note "no yes ran"; return 1; }
  await_exit "$yes_pid" 40 || { note "yes still runs"; kill -KILL "$yes_pid"; return 1; }
  ((rss < 100000)) || { note "quillet holds $rss kB"; return 1; }
  same status "$STATUS" 130 && file_is stdout out ''
}

check "an action printing without end: memory stays small, SIGINT ends both" endless_action

cases environment.cases
done_testing
