#!/usr/bin/env bash
# A live filter over a log: the list follows the log as it grows, and each change of the
# filter starts its feed again with the filter's value, showing only the lines that hold it.
# Usage: log-filter.sh [LOG] (default: a sample log made here as log-filter.log)
set -euo pipefail
quillet=${QUILLET:-quillet}

LOG_FILE=$(realpath -m "${1:-log-filter.log}")
if [[ ! -e $LOG_FILE ]]; then
  for n in $(seq 1 60); do
    printf '12:%02d:00 %s request %d\n' $((n % 60)) "$(
      case $((n % 4)) in 0) echo ERROR ;; 1) echo WARN ;; *) echo INFO ;; esac)" "$n"
  done >"$LOG_FILE"
fi
# Feeds inherit the environment: the path needs no quoting for the markup.
export LOG_FILE

FILTER_DIALOG=$(cat <<'EOF2'
<window title="Log" height="400">
  <vbox>
    <hbox>
      <text><label>Lines holding:</label></text>
      <entry variable="FILTER"><action on="change">refresh:LINE</action></entry>
    </hbox>
    <list variable="LINE">
      <feed>tail -n +1 -F "$LOG_FILE" 2>/dev/null | grep --line-buffered -F -- "${FILTER-}"</feed>
    </list>
    <button ok></button>
  </vbox>
</window>
EOF2
)
export FILTER_DIALOG

EXIT=
eval "$("$quillet" --program FILTER_DIALOG)"
case $EXIT in
  OK) ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac

echo "FILTER=$FILTER"
echo "LINE=$LINE"
