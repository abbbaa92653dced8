#!/usr/bin/env bash
# Choose the components to install: a list of check boxes, some ticked at the start. The
# answer is the ticked rows, a line each, named by their hidden identifier column rather
# than by the text the user reads.
set -euo pipefail
quillet=${QUILLET:-quillet}

COMPONENTS_DIALOG=$(cat <<'EOF'
<window title="Install" width="420" height="300">
  <vbox>
    <text><label>Choose the components to install:</label></text>
    <list variable="COMPONENTS" columns="Install|Id|Component|Size (MB)"
          column-types="check|hidden|text|number">
      <item>true|core|Core files|12</item>
      <item>true|docs|Manual and examples|4.5</item>
      <item>false|spell|Spell checker|38</item>
      <item>false|fonts|Extra fonts|120</item>
      <item>false|dev|Development headers|2</item>
      <default>spell</default>
    </list>
    <hbox>
      <button ok><label>_Install</label></button>
      <button cancel></button>
    </hbox>
  </vbox>
</window>
EOF
)
export COMPONENTS_DIALOG

EXIT=
eval "$("$quillet" --program COMPONENTS_DIALOG)"
case $EXIT in
  OK) ;;
  CANCEL) echo "Cancelled."; exit 0 ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac

# One identifier on each line, in the order the list showed them.
if [ -z "$COMPONENTS" ]; then
  echo "Nothing to install."
  exit 0
fi
while IFS= read -r component; do
  echo "Would install: $component"
done <<<"$COMPONENTS"
