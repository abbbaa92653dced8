#!/usr/bin/env bash
# How a dialog ends: OK with what every kind of widget holds, read back with eval as a
# calling script does; an exit button; Cancel; Escape; the window closed. The cases are in
# data/dialogs.cases.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_session "$@"
cases dialogs.cases

# A timeout of 1 s: not before it, counted from the start, and within half a second of it,
# counted from the window showing (after the timeout was set).
timed_out() {
  x_only || return 0
  export DIALOG='<window timeout="1"><vbox><text><label>Soon</label></text></vbox></window>'
  local began=$EPOCHREALTIME shown ended
  start && await 200 window_or_end && shown=$EPOCHREALTIME && await_exit "$PID" 100 || stop ||
    return 1
  ended=$EPOCHREALTIME
  wait "$PID"
  local in_time="$ended - $began >= 1 && $ended - $shown <= 1.5"
  same stdout "$(<out)" 'EXIT="TIMEOUT"' &&
    same "ended 1 to 1.5 s after" "$(awk "BEGIN { print ($in_time) }")" 1
}
check "a timeout ends the dialog within half a second of its time" timed_out
done_testing
