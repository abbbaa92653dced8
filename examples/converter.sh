#!/usr/bin/env bash
# A live converter: each change of the entry refreshes the text below it, whose <input>
# computes from the entry's value. awk reads the value as data: typed text never runs.
# Usage: converter.sh
set -euo pipefail
quillet=${QUILLET:-quillet}

CONVERTER_DIALOG=$(cat <<'EOF2'
<window title="Kilometres to miles" width="360" height="120">
  <vbox>
    <text><label>Kilometres:</label></text>
    <entry variable="KM"><action on="change">refresh:MILES</action></entry>
    <text variable="MILES">
      <input>printf '%s\n' "${KM:-0}" | awk '{ printf "%s km = %.3f miles\n", $1 + 0, $1 * 0.621371 }'</input>
    </text>
    <button ok></button>
  </vbox>
</window>
EOF2
)
export CONVERTER_DIALOG

EXIT=
eval "$("$quillet" --program CONVERTER_DIALOG)"
case $EXIT in
  OK) ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac

printf '%s\n' "${KM:-0}" | awk '{ printf "%s km = %.3f miles\n", $1 + 0, $1 * 0.621371 }'
