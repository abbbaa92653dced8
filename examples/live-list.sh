#!/usr/bin/env bash
# A live list: a command adds a row for each line it prints while the window is already
# open, so a long search never keeps the user waiting; a second command fills in a caption.
# Usage: live-list.sh [DIRECTORY] (default: the directory of this script)
set -euo pipefail
quillet=${QUILLET:-quillet}

SEARCH_DIR=$(cd "${1:-$(dirname "$0")}" && pwd)
# Feeds inherit the environment: the directory needs no quoting for the markup.
export SEARCH_DIR

LIVE_DIALOG=$(cat <<'EOF'
<window>
  <vbox>
    <text>
      <label>Looking for scripts...</label>
      <feed>echo "$(find "$SEARCH_DIR" -name '*.sh' | wc -l) scripts in $SEARCH_DIR"</feed>
    </text>
    <list variable="SCRIPT">
      <feed>find "$SEARCH_DIR" -name '*.sh' -printf '%P\n' | sort</feed>
    </list>
    <hbox>
      <button ok></button>
      <button cancel></button>
    </hbox>
  </vbox>
</window>
EOF
)
export LIVE_DIALOG

EXIT=
eval "$("$quillet" --program LIVE_DIALOG)"
case $EXIT in
  OK) ;;
  CANCEL) echo "Cancelled."; exit 0 ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac

echo "SCRIPT=$SCRIPT"
if [[ -n $SCRIPT ]]; then
  echo "$SCRIPT has $(wc -l <"$SEARCH_DIR/$SCRIPT") lines."
else
  echo "No script was chosen."
fi
