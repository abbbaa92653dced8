#!/usr/bin/env bash
# Progress from a pipe: a job prints percentages (and "# captions") on its standard output,
# quillet's bar follows them from its standard input and, at 100, the window closes as OK.
set -euo pipefail
quillet=${QUILLET:-quillet}

copy_photos() {
  for step in 1 2 3 4 5; do
    echo "# Copying part $step of 5"
    sleep 0.5
    echo $((step * 20))
  done
}

export PROGRESS_DIALOG='<window title="Copying" width="380" height="80">
  <vbox>
    <text><label>Copying the photos of the year.</label></text>
    <progressbar variable="DONE" auto-close="true"><feed>-</feed></progressbar>
    <hbox><button cancel></button></hbox>
  </vbox>
</window>'

EXIT=
eval "$(copy_photos | "$quillet" --program PROGRESS_DIALOG)"
case $EXIT in
  OK) echo "All copied (DONE=$DONE)." ;;
  CANCEL) echo "Cancelled." ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac
