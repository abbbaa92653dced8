#!/usr/bin/env bash
# How a dialog ends: OK with what every kind of widget holds, read back with eval as a
# calling script does; Cancel; the window closed; a read-only working directory.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_session "$@"

# Text that the shell would run or mangle if quillet quoted it wrongly; the commands would
# create files named pwned* in the case's directory.
# shellcheck disable=SC1003,SC2016 # meant literally
TYPED_TEXT='  $(touch pwned1) `touch pwned2` "double" '\''single'\'' back\slash \\ $HOME end\'
# shellcheck disable=SC1003,SC2016
NOTES_TEXT='He said "hi", it'\''s \n not a newline \
$(touch pwned3) '\''end'\'''
# shellcheck disable=SC1003,SC2016
COLOUR_ITEM='Blue `touch pwned4` $(touch pwned5) "\'
# shellcheck disable=SC1003,SC2016
ROW_ITEM='it'\''s "$(touch pwned6)" \'

DIALOG=$(<"$E2E_SRC/data/every-kind.xml")
export DIALOG

ALL_NAMES='COLOUR COUNT EXIT LEVEL NOTES PICKED PROGRESS TICKED TYPED UNPICKED UNTICKED VOLUME'

# names_are WANT: the names assigned in ./out, sorted, each once.
names_are() {
  local names dups
  names=$(cut -d= -f1 out | sort | tr '\n' ' ')
  dups=$(cut -d= -f1 out | sort | uniq -d | tr '\n' ' ')
  same "names" "${names% }" "$1" && same "names written twice" "$dups" ''
}

no_command_ran() {
  local ran
  ran=$(ls -d pwned* 2>/dev/null)
  same "files made by commands in values" "$ran" ''
}

every_kind_changed() {
  run_dialog \
    focus 'text#0' type "$TYPED_TEXT" \
    click 'check box:Ticked' \
    select 'combo box' 2 \
    focus 'spin button' key ctrl+a type 17 \
    value 'slider#0' 37.5 \
    click "table cell:$ROW_ITEM" \
    focus 'text#1' type "$NOTES_TEXT" \
    click 'push button:OK' || return 1
  same status "$STATUS" 0 && file_is stderr err '' || return 1
  same "first line" "$(head -1 out)" 'EXIT="OK"' && names_are "$ALL_NAMES" || return 1
  eval "$(<out)"
  same EXIT "$EXIT" OK &&
    same TYPED "$TYPED" "$TYPED_TEXT" &&
    same TICKED "$TICKED" true &&
    same UNTICKED "$UNTICKED" false &&
    same COLOUR "$COLOUR" "$COLOUR_ITEM" &&
    same COUNT "$COUNT" 17 &&
    same VOLUME "$VOLUME" 37.5 &&
    same LEVEL "$LEVEL" 0 &&
    same PROGRESS "$PROGRESS" 0 &&
    same PICKED "$PICKED" "$ROW_ITEM" &&
    same UNPICKED "$UNPICKED" '' &&
    same NOTES "$NOTES" "$NOTES_TEXT" &&
    no_command_ran
}

every_kind_untouched() {
  run_dialog act 'push button:OK' || return 1
  ended 0 "$(<"$E2E_SRC/data/every-kind-untouched.out")"$'\n' || return 1
  # The layout GTK was given is left for the script's author.
  grep -q 'id="NOTES"' debug_generated_layout.xml || { note "no layout file"; return 1; }
}

cancel() {
  run_dialog focus 'text#0' type typed click 'check box:Ticked' click 'push button:Cancel' ||
    return 1
  ended 0 'EXIT="CANCEL"
'
}

window_closed() {
  run_dialog focus 'text#0' type typed close || return 1
  ended 0 ''
}

# A working directory quillet cannot write to. Root writes anywhere, so as root quillet runs
# as nobody; without the accessibility bridge (nobody cannot reach this session's bus) the
# dialog is worked with the keyboard alone.
read_only_dir() {
  x_only || return 1
  export DIALOG='<window><vbox><entry variable="E"></entry><button ok></button></vbox></window>'
  # shellcheck disable=SC2034 # run_dialog reads it
  local -a QUILLET_PREFIX=(env -C ro NO_AT_BRIDGE=1)
  local QUILLET=$QUILLET
  if ((EUID == 0)); then
    mkdir -m 755 nobody && chown nobody:nogroup nobody &&
      mkdir -m 700 nobody/runtime && chown nobody:nogroup nobody/runtime || return 1
    # The build tree may be out of nobody's reach; the X cookie is root's.
    cp "$QUILLET" quillet && cp "$XAUTHORITY" xauth && chmod 644 xauth || return 1
    QUILLET=$PWD/quillet
    QUILLET_PREFIX=(setpriv --reuid=nobody --regid=nogroup --clear-groups
      env -C ro NO_AT_BRIDGE=1 HOME="$PWD/nobody" XDG_RUNTIME_DIR="$PWD/nobody/runtime"
      XAUTHORITY="$PWD/xauth")
    # So may the leak checker's suppressions be.
    if [[ ${LSAN_OPTIONS:-} == suppressions=* ]]; then
      local supp=${LSAN_OPTIONS#suppressions=}
      cp "${supp%%:*}" lsan.supp && chmod 644 lsan.supp || return 1
      QUILLET_PREFIX+=(LSAN_OPTIONS="suppressions=$PWD/lsan.supp:${LSAN_OPTIONS#*:}")
    fi
  fi
  mkdir -m 555 ro || return 1
  run_dialog type 'read only' key Tab key space || return 1
  ended 0 'EXIT="OK"
E="read only"
' && same "files written" "$(ls -A ro)" ''
}

# A form as a script reopens it: every kind of widget starts with a value, numbers in ranges
# of their own, captions and names of the markup's choosing.
FORM=$(<"$E2E_SRC/data/form.xml")
FORM_LINES=$(<"$E2E_SRC/data/form.out")$'\n'

form_untouched() {
  export DIALOG=$FORM
  run_dialog name frame title size frame size name 'page tab#1' tab act 'push button:Save' ||
    return 1
  ended 0 "EXIT=\"OK\"
$FORM_LINES" && file_is title title 'Account & more' && file_is size size 640x520 &&
    file_is tab tab Network && no_command_ran || return 1
  eval "$(<out)"
  # shellcheck disable=SC2016
  same NAME "$NAME" 'Ada "A" $(touch pwned1)'
}

# The password field by its role, the host field by the text before it; the spin button
# steps down by its own step.
form_changed() {
  export DIALOG=$FORM
  run_dialog focus 'password text' key ctrl+a type 'new pass' focus 'spin button' key Down \
    settext 'text:Host' example.net act 'push button:Later' || return 1
  local want=${FORM_LINES/s3cret/new pass}
  want=${want/5.0/4.5}
  ended 0 "EXIT=\"LATER\"
${want/example.org/example.net}"
}

# Keys: the first field has the focus though it sits in a notebook; Enter in it or in the
# spin button, or a double click on a row, presses OK; Escape presses Cancel, or closes a
# dialog without one.
KEYS=$(<"$E2E_SRC/data/keys.xml")

# keys STEP...: the steps on KEYS end it with the output WANT.
keys() {
  export DIALOG=$KEYS
  run_dialog "$@" || return 1
  # shellcheck disable=SC2153 # set on each check line
  ended 0 "$WANT"
}

escape_alone() {
  export DIALOG='<window><vbox><entry variable="E"></entry><button variable="B"></button></vbox></window>'
  run_dialog type typed key Escape || return 1
  ended 0 ''
}

check "a form reopened with its values: OK at once gives them back in document order" \
  form_untouched
check "a form reopened: a password typed, a step down, a field found by its text, an exit button" \
  form_changed
WANT='EXIT="OK"
FIRST="typed"
N="0"
PICK=""
' check "Enter in the first field, focused at open inside a notebook, presses OK" \
  keys type typed key Return
WANT='EXIT="OK"
FIRST=""
N="7"
PICK=""
' check "Enter in a spin button presses OK" keys focus 'spin button' key ctrl+a type 7 key Return
WANT='EXIT="OK"
FIRST=""
N="0"
PICK="b"
' check "a double-clicked list row presses OK" keys doubleclick 'table cell:b'
WANT='EXIT="CANCEL"
' check "Escape presses Cancel" keys type typed key Escape
check "Escape without a Cancel button closes the window: nothing printed, status 0" escape_alone
check "OK with every kind of widget changed: eval gives back what each holds" every_kind_changed
check "OK untouched: every default; no line for no name, EXIT or no shell name; the layout file" \
  every_kind_untouched
check "Cancel prints only EXIT=\"CANCEL\"" cancel
check "the window closed (WM_DELETE_WINDOW on X) ends with status 0 and no output" window_closed
check "a read-only working directory does not stop the dialog" read_only_dir
done_testing
