#!/usr/bin/env bash
# Spin button, slider and progress bar. Both number widgets range from 0 to 100 in steps
# of 1; the progress bar shows its label and how far it is filled.
set -euo pipefail
quillet=${QUILLET:-quillet}

export NUMBERS_DIALOG='<window>
  <vbox>
    <text><label>Printing, step 2 of 3: choose the copies and the print density.</label></text>
    <progressbar variable="PROGRESS"><label>Step 2 of 3</label></progressbar>
    <text><label>Copies</label></text>
    <spinbutton variable="COPIES"></spinbutton>
    <text><label>Density (per cent)</label></text>
    <slider variable="DENSITY"></slider>
    <hbox>
      <button ok></button>
      <button cancel></button>
    </hbox>
  </vbox>
</window>'

EXIT=
eval "$("$quillet" --program NUMBERS_DIALOG)"
case $EXIT in
  OK) ;;
  CANCEL) echo "Cancelled."; exit 0 ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac

echo "COPIES=$COPIES"
echo "DENSITY=$DENSITY"
echo "PROGRESS=$PROGRESS"
# A dragged slider can stop between steps (34.600000000000001, say); the shell only does
# whole numbers, so keep the part before the point.
echo "Printing $COPIES copies at ${DENSITY%%.*} per cent."
