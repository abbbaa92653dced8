#!/usr/bin/env bash
# A question with three answers: yes, no, or ask again later; closing the window is later.
set -euo pipefail
quillet=${QUILLET:-quillet}

export UPDATE_DIALOG='<window title="Updates" width="400" height="100">
  <vbox>
    <hbox>
      <image icon="software-update-available"><label>Update</label></image>
      <text markup="true"><label>&lt;b&gt;Three updates are ready.&lt;/b&gt; Install them now?</label></text>
    </hbox>
    <hbox>
      <button exit="LATER"><label>_Later</label></button>
      <button exit="NO"><label>_No</label></button>
      <button exit="YES"><label>_Yes</label></button>
    </hbox>
  </vbox>
</window>'

EXIT=
eval "$("$quillet" --program UPDATE_DIALOG)"
case $EXIT in
  YES) echo "Installing." ;;
  NO) echo "Not installing." ;;
  *) echo "Asking again tomorrow." ;;
esac
