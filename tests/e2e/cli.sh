#!/usr/bin/env bash
# The command line and the ends that come before a window shows: the banner, the three fatal
# ends with and without --debug, the layout file, and the ways of naming the program.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_session "$@"

BANNER='quillet v1.0.0 - Native GTK3 Drop-In Replacement
'
A='[CONTROL POINT A] Feeding XML string to Gtk.Builder.add_from_string...'
B='[CONTROL POINT B] Gtk.Builder parsed string successfully without exceptions.'
D='[CONTROL POINT D] GTK PARSER EXCEPTION: '

# Two widgets with one name: GtkBuilder refuses duplicate object ids.
export REJECTED='<window><vbox><entry variable="TWICE"></entry><entry variable="TWICE"></entry></vbox></window>'
export NO_WINDOW='<default>abc</default>'
export EMPTY=''
# An input command that fails and an element the markup does not know.
export UNKNOWN='<input>exit 3</input><Sidebar/>'

# run_quillet ARGS...: runs quillet in the current dir; stdout to ./out, stderr to ./err.
run_quillet() {
  G_DEBUG=fatal-criticals timeout -k 2 20 "$QUILLET" "$@" >out 2>err
  STATUS=$?
}

# banner: no argument, -h or --help print the banner, without a display.
banner() {
  local args
  for args in '' -h '--help -p x'; do
    STATUS=0
    # shellcheck disable=SC2086 # split on purpose
    env -u DISPLAY -u XAUTHORITY -u WAYLAND_DISPLAY timeout -k 2 20 "$QUILLET" $args >out 2>err ||
      STATUS=$?
    ended 0 "$BANNER" || return 1
  done
}

# fatal WANT_STDERR ARGS...
fatal() {
  local want=$1
  shift
  run_quillet "$@"
  same status "$STATUS" 1 && file_is stdout out '' && file_is stderr err "$want"
}

layout_file_kept() {
  run_quillet --program REJECTED
  same status "$STATUS" 1 || return 1
  [[ -f debug_generated_layout.xml ]] || { note "no debug_generated_layout.xml"; return 1; }
  grep -c 'id="TWICE"' debug_generated_layout.xml >count
  file_is "objects named TWICE in the layout" count '2
'
}

# program_named NOTES ARGS...: each way of naming the program; the text of REJECTED gives a
# D line, which nothing else would, and the literal text must give the same, after NOTES
# (0 or 1) lines saying that no variable has that name.
program_named() {
  local notes=$1
  shift
  run_quillet "$@"
  same status "$STATUS" 1 && file_is stdout out '' || return 1
  same "no-variable notes" "$(grep -c '^\[QUILLET DEBUG\] No environment variable is named' err)" \
    "$notes" || return 1
  ((notes == 0)) || sed -i 1d err
  [[ $(head -1 err) == "$A" && $(sed -n 2p err) == "$D"*TWICE* && $(wc -l <err) == 2 ]] ||
    { note "stderr: $(cat err)"; return 1; }
}

# GTK says it cannot load a module: that must not reach stderr without --debug. With
# --debug it does, which shows the first run had something to hold back.
gtk_speaks() {
  export GTK_MODULES=quillet-e2e-missing
  run_quillet --program NO_WINDOW
  same status "$STATUS" 1 && file_is stdout out '' && file_is stderr err '' || return 1
  run_quillet --program NO_WINDOW --debug
  grep -q quillet-e2e-missing err || { note "GTK said nothing: $(cat err)"; return 1; }
}

check "no argument, -h, --help: the banner, without a display" banner

check "empty program: status 1, nothing written" fatal '' --program EMPTY
check "empty program, --debug: the critical line alone" fatal \
  '[QUILLET CRITICAL] No XML program payload found.
' --debug --program EMPTY
check "layout GTK rejects: status 1, nothing written" fatal '' --program REJECTED
check "no main window: status 1, nothing written" fatal '' --program NO_WINDOW
check "no main window, --debug: A then B and nothing else" fatal "$A
$B
" --program NO_WINDOW --debug
check "failed input command, unknown element: nothing said" fatal '' --program UNKNOWN
check "failed input command, unknown element, --debug: a line for each, then A and B" fatal \
  "[QUILLET DEBUG] Input command failed: exit 3: Child process exited with code 3
[QUILLET DEBUG] Unknown element <sidebar>: left out of the dialog.
$A
$B
" --program UNKNOWN --debug
check "debug_generated_layout.xml holds the layout GTK rejected" layout_file_kept
check "GTK's own messages stay off stderr without --debug" gtk_speaks

check "--program NAME; a layout GTK rejects, --debug: A then D with GTK's message, no B" \
  program_named 0 --debug --program REJECTED
check "-p NAME" program_named 0 -p REJECTED --debug
check "--program=NAME" program_named 0 --program=REJECTED --debug
check "-p=NAME" program_named 0 --debug -p=REJECTED
check "a name that is no variable is the program text; --debug says so" \
  program_named 1 -p "$REJECTED" --debug
done_testing
