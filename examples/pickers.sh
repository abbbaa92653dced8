#!/usr/bin/env bash
# Pickers: a file to send, a folder to keep a copy in, a name to save a report as, a date,
# a colour, a font, and the attachments: several rows of a list with columns.
set -euo pipefail
quillet=${QUILLET:-quillet}

# shellcheck disable=SC2089 # markup: the quotes are meant for it
PICKERS_DIALOG="<window title=\"Send a report\" width=\"520\" height=\"640\">
  <vbox>
    <text><label>File to send</label></text>
    <filechooser variable=\"DOCUMENT\"><default>/etc/hostname</default></filechooser>
    <text><label>Keep a copy in</label></text>
    <filechooser variable=\"ARCHIVE\" action=\"folder\"><default>$HOME</default></filechooser>
    <text><label>Save the report as</label></text>
    <filechooser variable=\"REPORT\" action=\"save\"><default>report.txt</default></filechooser>
    <hbox>
      <calendar variable=\"DUE\"><default>2024-06-14</default></calendar>
      <vbox>
        <colorbutton variable=\"LABEL_COLOUR\" tooltip=\"Colour of the label\"><default>#3465a4</default></colorbutton>
        <fontbutton variable=\"FONT\"><default>Sans Bold 12</default></fontbutton>
      </vbox>
    </hbox>
    <text><label>Attachments (Ctrl+click for several)</label></text>
    <list variable=\"ATTACH\" columns=\"Name|Size|Kind\" selection=\"multiple\">
      <item>notes.txt|2 KB|text</item>
      <item>photo.jpg|1.2 MB|image</item>
      <item>budget.ods|18 KB|spreadsheet</item>
      <default>notes.txt
budget.ods</default>
    </list>
    <hbox><button ok></button><button cancel></button></hbox>
  </vbox>
</window>"
# shellcheck disable=SC2090
export PICKERS_DIALOG

answer=$("$quillet" --program PICKERS_DIALOG)
EXIT=''
eval "$answer"
if [ "$EXIT" = OK ]; then
  printf 'Send %s, keep a copy in %s, report %s, due %s, colour %s, font %s\n' \
    "$DOCUMENT" "$ARCHIVE" "$REPORT" "$DUE" "$LABEL_COLOUR" "$FONT"
  printf 'Attach: %s\n' "${ATTACH//$'\n'/, }"
fi
