#!/usr/bin/env bash
# The command line and the ends that come before a window shows: the banner, the fatal ends
# with and without --debug (data/cli.cases), the layout file, and the ways of naming the
# program.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_session "$@"

# Two widgets with one name: GtkBuilder refuses duplicate object ids.
export REJECTED='<window><vbox><entry variable="TWICE"></entry><entry variable="TWICE"></entry></vbox></window>'

# run_quillet ARGS...: runs quillet in the current dir; stdout to ./out, stderr to ./err.
run_quillet() {
  STATUS=0
  G_DEBUG=fatal-criticals timeout -k 2 20 "$QUILLET" "$@" >out 2>err || STATUS=$?
}

# No argument, -h or --help print the banner first, then a usage; --version the version.
# Neither needs a display.
banner() {
  local args
  for args in '' -h '--help -p x'; do
    # shellcheck disable=SC2086 # split on purpose
    DISPLAY='' WAYLAND_DISPLAY='' run_quillet $args
    same status "$STATUS" 0 && file_is stderr err '' &&
      same "first line ($args)" "$(head -1 out)" 'quillet v1.0.0 - Native GTK3 Drop-In Replacement' &&
      same usage "$(sed -n 2p out)" 'Usage: quillet --program NAME [--format FORMAT] [--values FILE] [--debug]' || return 1
  done
  DISPLAY='' WAYLAND_DISPLAY='' run_quillet --version
  ended 0 'quillet 1.0.0
'
}

layout_file_kept() {
  run_quillet --program REJECTED
  same status "$STATUS" 1 && same "objects named TWICE in the layout" \
    "$(grep -c 'id="TWICE"' debug_generated_layout.xml)" 2
}

# program_named NOTES ARGS...: each way of naming the program; REJECTED gives a D line, which
# nothing else would, and the literal text must give the same, after NOTES (0 or 1) lines
# saying that no variable has that name: the name given twice, A, D, and where in the markup
# the fault came in.
program_named() {
  local notes=$1
  shift
  run_quillet "$@"
  same status "$STATUS" 1 && file_is stdout out '' || return 1
  same "no-variable notes" "$(grep -c '^\[QUILLET DEBUG\] No environment variable is named' err)" \
    "$notes" || return 1
  ((notes == 0)) || sed -i 1d err
  [[ $(head -1 err) == "[QUILLET DEBUG] line 1: The name 'TWICE' is given to more than one widget"* &&
    $(sed -n 2p err) == '[CONTROL POINT A]'* &&
    $(sed -n 3p err) == '[CONTROL POINT D] GTK PARSER EXCEPTION: '*TWICE* && $(sed -n 4p err) == \
    '[QUILLET DEBUG] GTK rejected what the markup brings in at line 1, column 47: <entry variable="TWICE">' &&
    $(wc -l <err) == 4 ]] || { note "stderr: $(cat err)"; return 1; }
}

# GTK says it cannot load a module: that must not reach stderr without --debug. With
# --debug it does, which shows the first run had something to hold back.
gtk_speaks() {
  export GTK_MODULES=quillet-e2e-missing DIALOG='<default>abc</default>'
  run_quillet --program DIALOG
  file_is stderr err '' || return 1
  run_quillet --program DIALOG --debug
  grep -q quillet-e2e-missing err || { note "GTK said nothing: $(cat err)"; return 1; }
}

check "no argument, -h, --help: the banner then a usage; --version: the version; no display" banner
cases cli.cases
check "debug_generated_layout.xml holds the layout GTK rejected" layout_file_kept
check "GTK's own messages stay off stderr without --debug" gtk_speaks
check "--program NAME; a layout GTK rejects, --debug: A, D with GTK's message, the markup's line" \
  program_named 0 --debug --program REJECTED
check "-p NAME" program_named 0 -p REJECTED --debug
check "--program=NAME" program_named 0 --program=REJECTED --debug
check "-p=NAME" program_named 0 --debug -p=REJECTED
check "a name that is no variable is the program text; --debug says so" \
  program_named 1 -p "$REJECTED" --debug
done_testing
