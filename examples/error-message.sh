#!/usr/bin/env bash
# An error message: the theme's error icon, the text beside it in bold, OK at the right.
set -euo pipefail
quillet=${QUILLET:-quillet}

export ERROR_DIALOG='<window title="Backup" width="380" height="100" icon="dialog-error">
  <vbox>
    <hbox>
      <image icon="dialog-error"><label>Error</label></image>
      <text markup="true"><label>&lt;b&gt;The backup failed:&lt;/b&gt; the disk is full.</label></text>
    </hbox>
    <hbox><button ok></button></hbox>
  </vbox>
</window>'

EXIT=
eval "$("$quillet" --program ERROR_DIALOG)"
echo "Seen: ${EXIT:-closed}"
