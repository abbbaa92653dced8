#!/usr/bin/env bash
# Downloads and their progress: a command prints a line whenever a download moves on, and
# key="first" puts each line in place of the row of the same file, so that every bar moves
# in its own row. The icon column shows the theme's icon of each download's state.
set -euo pipefail
quillet=${QUILLET:-quillet}

DOWNLOADS_DIALOG=$(cat <<'EOF'
<window title="Downloads" width="460" height="240">
  <vbox>
    <list variable="DOWNLOAD" columns="|File|Progress" column-types="icon|text|progress"
          key="first">
      <feed>
        for step in 1 2 3 4 5 6 7 8 9 10; do
          for file in debian.iso notes.pdf photos.tar; do
            case $file in
              debian.iso) done=$((step * 10)) ;;
              notes.pdf) done=$((step * 25 > 100 ? 100 : step * 25)) ;;
              photos.tar) done=$((step * 12 > 100 ? 100 : step * 12)) ;;
            esac
            if [ "$done" -ge 100 ]; then
              echo "emblem-default|$file|100 Done"
            else
              echo "emblem-downloads|$file|$done Fetching"
            fi
          done
          sleep 0.3
        done
      </feed>
    </list>
    <hbox>
      <button ok><label>_Open</label></button>
      <button cancel></button>
    </hbox>
  </vbox>
</window>
EOF
)
export DOWNLOADS_DIALOG

EXIT=
eval "$("$quillet" --program DOWNLOADS_DIALOG)"
case $EXIT in
  OK) ;;
  CANCEL) echo "Cancelled."; exit 0 ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac

# The chosen row, its cells joined by '|': the state, the file, the progress.
if [ -z "$DOWNLOAD" ]; then
  echo "No download was chosen."
  exit 0
fi
IFS='|' read -r state file progress <<<"$DOWNLOAD"
echo "DOWNLOAD=$DOWNLOAD"
echo "$file was at ${progress%% *} per cent ($state)."
