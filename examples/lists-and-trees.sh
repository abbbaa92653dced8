#!/usr/bin/env bash
# A list with items written in the dialog and a tree filled by a command run when the
# dialog is built. Each returns the text of the selected row, or nothing.
set -euo pipefail
quillet=${QUILLET:-quillet}

# The input command runs through bash with this script's environment, so it can read
# variables the script exports; the dialog text itself stays constant.
EXAMPLES_DIR=$(cd "$(dirname "$0")" && pwd)
export EXAMPLES_DIR

# shellcheck disable=SC2016 # $EXAMPLES_DIR is for bash to expand when the dialog is built
export LISTS_DIALOG='<window>
  <vbox>
    <text><label>Pick a fruit and one of the example files.</label></text>
    <list variable="FRUIT">
      <item>Apple</item>
      <item>Banana</item>
      <item>Cherry</item>
      <item>Damson</item>
    </list>
    <tree variable="EXAMPLE_FILE">
      <input>ls -1 "$EXAMPLES_DIR"</input>
    </tree>
    <hbox>
      <button ok></button>
      <button cancel></button>
    </hbox>
  </vbox>
</window>'

EXIT=
eval "$("$quillet" --program LISTS_DIALOG)"
case $EXIT in
  OK) ;;
  CANCEL) echo "Cancelled."; exit 0 ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac

echo "FRUIT=$FRUIT"
echo "EXAMPLE_FILE=$EXAMPLE_FILE"
# A list with no row selected gives "". The fruit list rarely does: it has the keyboard
# focus when the dialog opens, and GTK selects its first row then.
if [ -n "$EXAMPLE_FILE" ]; then
  echo "$EXAMPLE_FILE has $(wc -l < "$EXAMPLES_DIR/$EXAMPLE_FILE") lines."
else
  echo "No file was selected."
fi
