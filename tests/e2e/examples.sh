#!/usr/bin/env bash
# The scripts in examples/, run as a user runs them, their dialogs worked and ended by OK,
# Cancel or closing the window, and what each script prints from the answer checked, so
# that the examples keep working as quillet changes.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_session "$@"

EXAMPLES=$(cd "$E2E_SRC/../../examples" && pwd)
# gallery.sh takes screenshots of the others; it reads no answer.
TESTED=(actions-and-timers choices complete-form demo lists-and-trees live-list
  notebooks-and-frames numbers pickers progress reopened-form text-and-entries)

# quillet_under SCRIPT_PID: the quillet process the script started, waited for at most 10 s.
# bash may exec the command substitution, so quillet is a child or a grandchild.
quillet_under() {
  local i child
  for ((i = 0; i < 100; i++)); do
    pgrep -n -x quillet -P "$1" && return 0
    for child in $(pgrep -P "$1"); do
      pgrep -n -x quillet -P "$child" && return 0
    done
    sleep 0.1
  done
  return 1
}

# stop_tree PID: kills the script and what it started, children first.
stop_tree() {
  local child
  for child in $(pgrep -P "$1"); do
    stop_tree "$child"
  done
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}

# run_example NAME STEP...: runs examples/NAME.sh in the case's directory (stdout ./out,
# stderr ./err, exit status in STATUS) while drive.py works its dialog. The script must end
# within 10 s of the last step.
run_example() {
  local name=$1 pid qpid
  shift
  QUILLET=$QUILLET G_DEBUG=$E2E_G_DEBUG "$EXAMPLES/$name.sh" >out 2>err &
  pid=$!
  STATUS=
  if ! qpid=$(quillet_under "$pid"); then
    note "$name started no quillet: $(cat out err)"
    stop_tree "$pid"
    return 1
  fi
  if ! drive "$qpid" "$@"; then
    note "$name: the dialog was not driven"
    stop_tree "$pid"
    return 1
  fi
  if ! await_exit "$pid"; then
    note "$name did not end"
    stop_tree "$pid"
    return 1
  fi
  wait "$pid"
  STATUS=$?
}

# printed LINE...: the script ended with status 0, wrote nothing to stderr, and each LINE
# is a whole line of its output.
printed() {
  local line missing=0
  if ! { same status "$STATUS" 0 && file_is stderr err ''; }; then
    note "stdout: $(cat out)"
    return 1
  fi
  for line; do
    grep -Fxq -- "$line" out || { note "no line $(printf %q "$line")"; missing=1; }
  done
  ((missing == 0)) || note "stdout: $(cat out)"
  return "$missing"
}

every_example_tested() {
  local found
  found=$(cd "$EXAMPLES" && printf '%s\n' *.sh | sed 's/\.sh$//' | grep -vx gallery |
    LC_ALL=C sort | tr '\n' ' ')
  same "examples" "${found% }" "${TESTED[*]}"
}

text_and_entries() {
  run_example text-and-entries settext 'text#0' 'Ada "the" Lovelace' \
    settext 'text#2' $'First line\n  second $(line)' act 'push button:OK' || return 1
  # shellcheck disable=SC2016 # meant literally
  printed 'FULL_NAME=Ada "the" Lovelace' 'EMAIL=' 'ABOUT<<END' 'First line' \
    '  second $(line)' 'END'
}

choices() {
  local first_shell
  # Whatever this machine lists first; blanks around it are trimmed.
  first_shell=$(grep -m1 '^/' /etc/shells | xargs)
  run_example choices act 'check box:Include charts' select 'combo box#0' 2 \
    act 'push button:OK' || return 1
  printed 'CHARTS=true' 'SEND_COPY=false' 'PAPER=A3' "REPORT_SHELL=$first_shell" \
    'The report will have charts.'
}

numbers() {
  run_example numbers value 'spin button' 7 value slider 40 act 'push button:OK' || return 1
  printed 'COPIES=7' 'DENSITY=40' 'PROGRESS=0' 'Printing 7 copies at 40 per cent.'
}

# The tree lists examples/ itself; its first row is on screen to click.
lists_and_trees() {
  local lines
  lines=$(wc -l <"$EXAMPLES/actions-and-timers.sh")
  run_example lists-and-trees click 'table cell:Banana' \
    click 'table cell:actions-and-timers.sh' act 'push button:OK' || return 1
  printed 'FRUIT=Banana' 'EXAMPLE_FILE=actions-and-timers.sh' \
    "actions-and-timers.sh has $lines lines."
}

# The second page is not on screen; AT-SPI reaches it all the same.
notebooks_and_frames() {
  run_example notebooks-and-frames settext 'text#0' imap.example.org \
    act 'check box:Use TLS' settext 'text#2' 'Ada L.' act 'push button:OK' || return 1
  printed 'IMAP_SERVER=imap.example.org' 'IMAP_TLS=true' 'IMAP_IDLE=false' 'SMTP_SERVER=' \
    'DISPLAY_NAME=Ada L.' 'SIGNATURE='
}

# The timer needs a second or two to run at all; how often it ran depends on the machine.
actions_and_timers() {
  run_example actions-and-timers act 'push button:Say hello' act 'check box:Lights on' \
    select 'combo box' 2 sleep 2.5 act 'push button:OK' || return 1
  printed 'LIGHTS=true' 'COLOUR=Blue' 'The actions wrote:' '    button: hello' \
    '    button: a second command' '    button: and a third' '    check box: toggled' \
    '    combo box: changed' || return 1
  grep -Eqx 'The timer ran [1-9][0-9]* times while the dialog was open\.' out ||
    { note "the timer did not run: $(cat out)"; return 1; }
}

# SOURCE's items come from an input command; DESTINATION's third is written "R&D archive".
complete_form() {
  run_example complete-form settext 'text#0' nightly select 'combo box#0' 1 \
    select 'combo box#1' 2 value 'spin button' 5 settext 'text#1' $'Keys are in\nthe safe' \
    act 'push button:OK' || return 1
  printed 'JOB_NAME=nightly' 'SOURCE=/etc' 'DESTINATION=R&D archive' 'EVERY=' 'KEEP=5' \
    'COMPRESSION=0' 'VERIFY=false' 'NOTES<<END' 'Keys are in' 'the safe' 'END' \
    "Backup job 'nightly': /etc to R&D archive every day, keeping 5 copies."
}

complete_form_cancelled() {
  run_example complete-form settext 'text#0' nightly act 'push button:Cancel' || return 1
  same status "$STATUS" 0 && file_is stdout out 'Cancelled: no backup job was made.
' && file_is stderr err ''
}

# Saved by the first run, the values come back in the second, where Enter saves at once.
SAVED='Saved for Ada & <Co>: mail.example.org port 587 (STARTTLS), every 10 minutes, checking at start: true.'
reopened_form() {
  run_example reopened-form settext 'text:Name' 'Ada & <Co>' settext 'password text' secret \
    value 'spin button' 587 select 'combo box' 1 act 'push button:Save' || return 1
  printed "$SAVED" 'A password was typed.' || return 1
  run_example reopened-form key Return || return 1
  printed "$SAVED"
}

text_and_entries_closed() {
  run_example text-and-entries settext 'text#0' Ada close || return 1
  same status "$STATUS" 1 && file_is stdout out '' &&
    file_is stderr err 'No answer: the window was closed or the dialog could not be shown.
'
}

# With a display the demo shows its dialog as any other: no virtual display, no screenshot.
demo() {
  run_example demo settext text Grace act 'check box:Send me the newsletter' \
    select 'combo box' 1 act 'push button:OK' || return 1
  printed 'quillet printed:' '    EXIT="OK"' '    NAME="Grace"' \
    'The script read: EXIT=OK NAME=Grace SUBSCRIBE=true COLOUR=Green' || return 1
  ! grep -q 'No display' out || { note "the demo thought it had no display"; return 1; }
}

# The feed takes about 1.2 s; the window takes input all along.
progress() {
  # The feed runs for about 1.2 s from when the window shows.
  run_example progress name 'push button:OK' shown sleep 2.5 act 'push button:OK' || return 1
  printed 'DONE=1' 'Every month was copied.'
}

# The row is clicked once the feed has put it in.
live_list() {
  local lines
  lines=$(wc -l <"$EXAMPLES/progress.sh")
  run_example live-list click 'table cell:progress.sh' act 'push button:OK' || return 1
  printed 'SCRIPT=progress.sh' "progress.sh has $lines lines."
}

pickers() {
  run_example pickers act 'push button:OK' || return 1
  printed "Send /etc/hostname, keep a copy in $HOME, report $PWD/report.txt, due 2024-06-14, \
colour #3465a4, font Sans Bold 12" 'Attach: notes.txt|2 KB|text, budget.ods|18 KB|spreadsheet'
}

check "every example but gallery.sh has a case here" every_example_tested
check "text-and-entries.sh: OK, an entry and a two-line edit read back" text_and_entries
check "text-and-entries.sh: window closed, the script says there was no answer" \
  text_and_entries_closed
check "choices.sh: OK, a check box and a written item; the command's first item" choices
check "numbers.sh: OK, the spin button and slider set" numbers
check "lists-and-trees.sh: OK, a list row and a row from the input command" lists_and_trees
check "notebooks-and-frames.sh: OK, fields on both pages" notebooks_and_frames
check "actions-and-timers.sh: OK after each action ran once and the timer ran" \
  actions_and_timers
check "complete-form.sh: OK, fields on all three pages" complete_form
check "complete-form.sh: Cancel" complete_form_cancelled
check "reopened-form.sh: saved values come back the next time" reopened_form
check "demo.sh: OK on the display it was given" demo
check "progress.sh: the feed fills the bar; OK reads 1" progress
check "live-list.sh: a row the feed added, chosen" live_list
check "pickers.sh: OK, the starting values of every picker and two rows" pickers
done_testing
