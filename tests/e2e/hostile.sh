#!/usr/bin/env bash
# Hostile input: binary garbage, broken and oversized markup, nesting past the limit, input
# commands that print too much, a working directory that is gone. Each run must end with
# status 0 or 1 (never a signal), never hang, and write nothing but the answer; a dialog that
# shows is closed or answered.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_session "$@"

# shown_or_refused: a dialog that showed and was closed, or one refused with status 1;
# either way nothing written.
shown_or_refused() {
  if [[ $SHOWN == yes ]]; then
    ended 0 ''
  else
    ended 1 ''
  fi
}

# answered WANT: the dialog showed and OK printed the lines WANT, in any order.
answered() {
  same shown "$SHOWN" yes && same status "$STATUS" 0 && file_is stderr err '' || return 1
  same "stdout, sorted" "$(sort out)" "$(sort <<<"$1")"
}

# garbage SEED BYTES: random bytes but NUL, which no environment variable can hold.
# A seed makes a failure reproducible.
garbage() {
  "$PYTHON" -c 'import random, sys
sys.stdout.buffer.write(random.Random(int(sys.argv[1])).randbytes(int(sys.argv[2])).replace(b"\0", b""))' "$1" "$2"
}

repeat() {
  local s='' i
  for ((i = 0; i < $2; i++)); do s+=$1; done
  printf %s "$s"
}

## Garbage

# A command printing garbage (after text that would run commands if badly quoted) gives a
# combo box an item: OK must give back, through eval, exactly the text the combo box shows.
garbage_item() {
  # shellcheck disable=SC1003,SC2016 # meant literally
  { printf '%s' '$(touch pwned1) `touch pwned2` "\'; garbage "$1" 600 | tr -d '\n'; } >item
  export DIALOG='<window><vbox><combobox variable="K"><input>cat item</input></combobox>
<button ok></button></vbox></window>'
  start
  outcome name 'combo box' shown act 'push button:OK' || return 1
  same status "$STATUS" 0 && file_is stderr err '' || return 1
  # GTK's XML parser reads a CR as a newline; the value keeps it in its quotes.
  eval "$(<out)" || return 1
  printf "%s\n" "$K" >got
  cmp -s got shown || { note "exported $(od -c got | head -3), shown $(od -c shown | head -3)"; return 1; }
  same "files made by commands in the value" "$(ls -d pwned* 2>/dev/null)" ''
}

FRESH_SEED=$((RANDOM * 32768 + RANDOM))
check "garbage printed by an input command: the item exported is the item shown" \
  garbage_item 4

## Broken markup

# unbalanced PROGRAM...: each shows or is refused, and writes nothing.
unbalanced() {
  local n
  for ((n = 1; n <= $#; n++)); do
    export DIALOG=${!n}
    start && outcome close && shown_or_refused || { note "program $n"; return 1; }
  done
}

LABEL_TAIL='</label></text><entry variable="E"></entry><button ok></button></vbox></window>'
# Bytes that are no UTF-8 and '<' that open stray tags, alone or in a label of a good dialog.
check "binary garbage (seeds 1 and $FRESH_SEED), alone and in a label" unbalanced \
  "$(garbage 1 65536)" "$(garbage "$FRESH_SEED" 65536)" \
  "<window><vbox><text><label>$(garbage "$FRESH_SEED" 4000)$LABEL_TAIL"
# A prefix that gives quillet a terminal of its own to control, as a script started from one.
ON_TERMINAL=("$PYTHON" -c 'import fcntl, os, sys, termios
main, _ = os.openpty(), os.setsid()
os.set_inheritable(main[0], True)
fcntl.ioctl(main[1], termios.TIOCSCTTY, 0)
os.execv(sys.argv[1], sys.argv[1:])')
cases hostile.cases

## Size

# A single environment string may hold 128 KiB, "DIALOG=" and the final NUL included.
largest_program() {
  local page n program='<window><vbox><notebook>'
  for ((page = 0; page < 30; page++)); do
    program+=$'\n<vbox>'
    for ((n = page * 50; n < page * 50 + 50; n++)); do
      printf -v program '%s\n<text><label>Entry field %04d</label></text><entry variable="F%04d"></entry>' \
        "$program" "$n" "$n"
    done
    program+=$'\n</vbox>'
  done
  export DIALOG="$program"$'\n</notebook><button ok></button></vbox></window>'
  ((${#DIALOG} > 115000 && ${#DIALOG} <= 131072 - 8)) ||
    { note "the program is ${#DIALOG} bytes"; return 1; }
  start
  outcome settext 'text#1499' last act 'push button:OK' || return 1
  same shown "$SHOWN" yes && same status "$STATUS" 0 && file_is stderr err '' || return 1
  same lines "$(wc -l <out)" 1501 && same "the last field" "$(grep -v '=""$' out | sort)" \
    'EXIT="OK"
F1499="last"'
}

check "a program of 120 KB, 1500 entries: every field read back" largest_program

## Nesting

# nested N OPEN CLOSE: a window holding N - 2 containers, the innermost holding an entry and
# OK: N levels of widgets.
nested() {
  printf '<window>%s<entry variable="E"></entry><button ok></button>%s</window>' \
    "$(repeat "$2" $(($1 - 2)))" "$(repeat "$3" $(($1 - 2)))"
}

# drive.py's walk would recurse a thousand levels; the keyboard needs none of that.
boxes_nested() {
  DIALOG=$(nested 1000 '<vbox>' '</vbox>')
  export DIALOG
  start
  outcome type deep key Tab key space || return 1
  answered 'EXIT="OK"
E="deep"'
}

# GDK cannot make a window that tall; GTK says so, but only with --debug.
notebooks_nested() {
  DIALOG=$(nested 1000 '<notebook>' '</notebook>')
  export DIALOG
  start
  # A window that tall is past what X allows: GTK may show it or give up with status 1.
  outcome close && shown_or_refused
}

too_deep() {
  DIALOG=$(nested "$1" '<vbox>' '</vbox>')
  export DIALOG
  start "${@:3}"
  outcome close || return 1
  same shown "$SHOWN" no && same status "$STATUS" 1 && file_is stdout out '' &&
    file_is stderr err "$2"
}

NESTING_LINE='[QUILLET CRITICAL] Widgets are nested more than 1000 levels deep.
'
check "1000 levels of boxes: the dialog works" boxes_nested
check "1000 levels of notebooks, taller than X allows: shown or refused, nothing written" \
  notebooks_nested
check "1001 levels, --debug: the nesting line alone" too_deep 1001 "$NESTING_LINE" --debug
check "10000 levels: status 1, nothing written" too_deep 10000 ''

# Elements quillet does not know are no widgets: 10000 of them around an entry are no depth.
unknown_nested() {
  DIALOG="<window><vbox>$(repeat '<foo>' 10000)<entry variable=\"E\"></entry>"
  DIALOG+="$(repeat '</foo>' 10000)<button ok></button></vbox></window>"
  export DIALOG
  start
  outcome settext text x act 'push button:OK' || return 1
  answered 'EXIT="OK"
E="x"'
}

check "10000 unknown elements nested: no widget depth, the dialog works" unknown_nested

## Working directory

# The layout file cannot be written, and input commands start in a directory that is gone.
cwd_gone() {
  export DIALOG='<window><vbox><entry variable="E"></entry>
<list variable="L"><input>echo row</input></list><button ok></button></vbox></window>'
  (mkdir gone && cd gone && rmdir ../gone && G_DEBUG=fatal-criticals exec "$QUILLET" \
    --program DIALOG) >out 2>err &
  PID=$!
  outcome settext text here click 'table cell:row' act 'push button:OK' || return 1
  answered 'EXIT="OK"
E="here"
L="row"'
}

check "a working directory that was removed: the dialog works" cwd_gone
done_testing
