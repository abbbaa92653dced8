#!/usr/bin/env bash
# File and folder choosers, a calendar, colour and font buttons, and a list with columns and
# several rows to choose: their starting values and values changed by the user, read back
# with eval.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_session "$@"

# A file name the shell would run or split if quillet quoted it wrongly.
# shellcheck disable=SC2016 # meant literally
HOSTILE='it'\''s "$(touch pwned1)" `touch pwned2`
second line'
# shellcheck disable=SC2016
PICKED='a '\''b'\'' "$(touch pwned3)".txt'

# dialog DIR: the dialog, its choosers starting in DIR.
dialog() {
  export DIALOG="<window>
<vbox>
<filechooser variable=\"DOC\"><default>$1/$HOSTILE</default></filechooser>
<filechooser variable=\"DIR\" action=\"folder\"><default>$1</default></filechooser>
<filechooser variable=\"OUT\" action=\"save\"><default>new.txt</default></filechooser>
<filechooser variable=\"NONE\"><default>$1/missing</default></filechooser>
<calendar variable=\"DAY\"><default>2024-02-10</default></calendar>
<colorbutton variable=\"INK\"><default>orange</default></colorbutton>
<fontbutton variable=\"FONT\"><default>Sans Bold 12</default></fontbutton>
<list variable=\"FILES\" columns=\"Name|Size|Kind\" selection=\"multiple\">
<item>a.txt|1 KB|text</item>
<item>$PICKED|2 KB</item>
<item>c.png|3 KB|image|big</item>
<feed>echo 'd.txt | 4 KB'</feed>
<default>a.txt</default>
</list>
<button ok></button>
</vbox>
</window>"
}

no_command_ran() {
  same "files made by commands in values" "$(ls -d pwned* 2>/dev/null)" ''
}

starting_values() {
  : >"$HOSTILE"
  dialog "$PWD"
  run_dialog act 'push button:OK' || return 1
  local EXIT DOC DIR OUT NONE DAY INK FONT FILES
  eval "$(cat out)"
  same EXIT "$EXIT" OK && same DOC "$DOC" "$PWD/$HOSTILE" && same DIR "$DIR" "$PWD" &&
    same OUT "$OUT" "$PWD/new.txt" && same NONE "$NONE" '' && same DAY "$DAY" 2024-02-10 &&
    same INK "$INK" '#ffa500' && same FONT "$FONT" 'Sans Bold 12' &&
    same FILES "$FILES" 'a.txt|1 KB|text' && no_command_ran
}

# A file picked in the chooser, the save dialog's name accepted, a day clicked, a
# colour from the palette, a row clicked and two added, one of them fed.
changed_values() {
  x_only || return
  : >"$HOSTILE" && : >"$PICKED"
  dialog "$PWD"
  run_dialog click calendar \
    click 'push button#0' window 1 click "table cell:$PICKED" act 'push button:Open' window 0 \
    click 'push button:Choose…' window 1 act 'push button:Save' window 0 \
    sleep 0.5 click 'push button#4' window 1 click 'radio button:Purple' \
    act 'push button:Select' window 0 \
    click 'table cell:c.png' addrow "table cell:$PICKED" addrow 'table cell:d.txt' act 'push button:OK' || return 1
  local EXIT DOC OUT DAY INK FILES
  eval "$(cat out)"
  same EXIT "$EXIT" OK && same DOC "$DOC" "$PWD/$PICKED" && same OUT "$OUT" "$PWD/new.txt" &&
    [[ $DAY == 2024-02-[0-9][0-9] && $DAY != 2024-02-10 ]] &&
    [[ $INK == '#'[0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f] && $INK != '#ffa500' ]] &&
    same FILES "$FILES" "$PICKED|2 KB|"$'\n''c.png|3 KB|image|big'$'\n''d.txt|4 KB|' &&
    no_command_ran ||
    { note "DAY=$DAY INK=$INK"; return 1; }
}

check "OK at once: every picker's starting value, a hostile file name exactly" starting_values
check "Changed: a file picked, a file saved, a day, a colour, three rows with columns" \
  changed_values
done_testing
