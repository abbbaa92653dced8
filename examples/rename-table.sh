#!/usr/bin/env bash
# Fix these names before renaming: a table of the files in a directory whose second column
# the user edits. The answer holds every row with every cell, which the script splits and
# turns into the mv commands it would run.
# Usage: rename-table.sh [DIRECTORY] (default: the directory of this script)
set -euo pipefail
quillet=${QUILLET:-quillet}

RENAME_DIR=$(cd "${1:-$(dirname "$0")}" && pwd)
export RENAME_DIR

RENAME_DIALOG=$(cat <<'EOF'
<window title="Rename" width="480" height="320">
  <vbox>
    <text><label>Click a new name to change it; Enter keeps the change.</label></text>
    <list variable="NAMES" columns="Name|New name" editable="2">
      <input>cd "$RENAME_DIR" && ls -1 | sed 'p' | paste -d'|' - -</input>
    </list>
    <hbox>
      <button ok><label>_Rename</label></button>
      <button cancel></button>
    </hbox>
  </vbox>
</window>
EOF
)
export RENAME_DIALOG

EXIT=
eval "$("$quillet" --program RENAME_DIALOG)"
case $EXIT in
  OK) ;;
  CANCEL) echo "Cancelled."; exit 0 ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac

# A row's cells into CELLS: split on each bar that no backslash escapes, the escapes undone.
split_row() {
  local row=$1 cell='' c i
  CELLS=()
  for ((i = 0; i < ${#row}; i++)); do
    c=${row:i:1}
    if [ "$c" = "\\" ]; then
      i=$((i + 1))
      case ${row:i:1} in
        n) cell+=$'\n' ;;
        r) cell+=$'\r' ;;
        t) cell+=$'\t' ;;
        *) cell+=${row:i:1} ;;
      esac
    elif [ "$c" = '|' ]; then
      CELLS+=("$cell")
      cell=''
    else
      cell+=$c
    fi
  done
  CELLS+=("$cell")
}

changed=0
while IFS= read -r row; do
  split_row "$row"
  if [ "${CELLS[0]}" != "${CELLS[1]}" ]; then
    printf 'Would run: mv -- %q %q\n' "${CELLS[0]}" "${CELLS[1]}"
    changed=$((changed + 1))
  fi
done <<<"$NAMES"
echo "$changed of the names changed."
