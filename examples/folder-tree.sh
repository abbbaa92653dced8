#!/usr/bin/env bash
# Pick a folder in this hierarchy: a nested list whose rows are the folders under a
# directory, two levels deep. Each line of the input command starts with a tab for each
# level; the answer is the chosen folder's path from the top, its names joined by '/'.
# Usage: folder-tree.sh [DIRECTORY] (default: the directory above this script's)
set -euo pipefail
quillet=${QUILLET:-quillet}

TREE_DIR=$(cd "${1:-$(dirname "$0")/..}" && pwd)
export TREE_DIR

# A folder comes right after the one it is in ("docs/gallery" after "docs", before
# "docs-old"), and "docs/gallery" becomes a tab and "gallery", under the row "docs".
FOLDER_DIALOG=$(cat <<'EOF'
<window title="Choose a folder" width="360" height="360">
  <vbox>
    <text><label>Choose a folder; Shift+Right opens one.</label></text>
    <tree variable="FOLDER" nested="true">
      <input>
        cd "$TREE_DIR" && find . -mindepth 1 -maxdepth 2 -type d -not -path '*/.*' -printf '%P\n' |
          LC_ALL=C sort -t/ -k1,1 -k2,2 | sed 's|[^/]*/|\t|g'
      </input>
    </tree>
    <hbox>
      <button ok></button>
      <button cancel></button>
    </hbox>
  </vbox>
</window>
EOF
)
export FOLDER_DIALOG

EXIT=
eval "$("$quillet" --program FOLDER_DIALOG)"
case $EXIT in
  OK) ;;
  CANCEL) echo "Cancelled."; exit 0 ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac

if [ -z "$FOLDER" ]; then
  echo "No folder was chosen."
  exit 0
fi
echo "FOLDER=$FOLDER"
files=$(find "$TREE_DIR/$FOLDER" -maxdepth 1 -type f | wc -l)
echo "That is $TREE_DIR/$FOLDER, which holds $files files."
