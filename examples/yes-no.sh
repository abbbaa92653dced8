#!/usr/bin/env bash
# A yes/no question: each button ends the dialog with its own word, Alt+Y and Alt+N press
# them, and closing the window counts as no.
set -euo pipefail
quillet=${QUILLET:-quillet}

export QUESTION_DIALOG='<window title="Clean up" width="380" height="100">
  <vbox>
    <hbox>
      <image icon="dialog-question"><label>Question</label></image>
      <text><label>Delete the twelve oldest backups?</label></text>
    </hbox>
    <hbox>
      <button exit="NO"><label>_No</label></button>
      <button exit="YES"><label>_Yes</label></button>
    </hbox>
  </vbox>
</window>'

EXIT=
eval "$("$quillet" --program QUESTION_DIALOG)"
if [[ $EXIT == YES ]]; then
  echo "Deleting."
else
  echo "Kept."
fi
