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

export DIALOG="<window>
<vbox>
<entry variable=\"TYPED\"></entry>
<hbox>
<checkbox variable=\"TICKED\"><label>Ticked</label></checkbox>
<checkbox variable=\"UNTICKED\"><label>Unticked</label></checkbox>
</hbox>
<comboboxtext variable=\"COLOUR\"><item>Red</item><item>Green</item><item>$COLOUR_ITEM</item></comboboxtext>
<spinbutton variable=\"COUNT\"></spinbutton>
<slider variable=\"VOLUME\"></slider>
<slider variable=\"LEVEL\"></slider>
<progressbar variable=\"PROGRESS\"><label>Half way</label></progressbar>
<hbox>
<list variable=\"PICKED\"><item>alpha</item><item>$ROW_ITEM</item></list>
<list variable=\"UNPICKED\"><item>one</item><item>two</item></list>
</hbox>
<edit variable=\"NOTES\"></edit>
<hbox><button ok></button><button cancel></button></hbox>
</vbox>
</window>"

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
  same status "$STATUS" 0 && file_is stderr err '' || return 1
  same "first line" "$(head -1 out)" 'EXIT="OK"' && names_are "$ALL_NAMES" || return 1
  eval "$(<out)"
  same all "$TYPED|$TICKED|$UNTICKED|$COLOUR|$COUNT|$VOLUME|$LEVEL|$PROGRESS|$PICKED|$UNPICKED|$NOTES" \
    '|false|false|Red|0|0|0|0|||' || return 1
  # The layout GTK was given is left for the script's author.
  grep -q 'id="NOTES"' debug_generated_layout.xml || { note "no layout file"; return 1; }
}

unnamed_widgets() {
  export DIALOG='<window><vbox>
<entry></entry>
<entry variable="ONLY"></entry>
<entry variable="EXIT"></entry>
<entry variable="not-a-shell-name"></entry>
<checkbox><label>Unnamed</label></checkbox>
<comboboxtext><item>a</item><item>b</item></comboboxtext>
<spinbutton></spinbutton>
<slider></slider>
<progressbar></progressbar>
<list><item>row</item></list>
<edit></edit>
<button ok></button>
</vbox></window>'
  run_dialog \
    focus 'text#0' type unnamed \
    settext 'text#1' named \
    settext 'text#2' CANCEL \
    settext 'text#3' 'x; touch pwned7' \
    click 'check box:Unnamed' \
    select 'combo box' 1 \
    value slider 5 \
    click 'table cell:row' \
    focus 'text#4' type notes \
    click 'push button:OK' || return 1
  ended 0 'EXIT="OK"
ONLY="named"
' && no_command_ran
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
  fi
  mkdir -m 555 ro || return 1
  run_dialog type 'read only' key Tab key space || return 1
  ended 0 'EXIT="OK"
E="read only"
' && same "files written" "$(ls -A ro)" ''
}

check "OK with every kind of widget changed: eval gives back what each holds" every_kind_changed
check "OK with nothing touched: the default of every kind; the layout file written" \
  every_kind_untouched
check "widgets without a name, or named EXIT or no shell name, give no line" unnamed_widgets
check "Cancel prints only EXIT=\"CANCEL\"" cancel
check "the window closed (WM_DELETE_WINDOW on X) ends with status 0 and no output" window_closed
check "a read-only working directory does not stop the dialog" read_only_dir
done_testing
