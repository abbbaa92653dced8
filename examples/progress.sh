#!/usr/bin/env bash
# A progress dialog. A command feeds the bar: a number sets the percentage, a line that
# begins with "#" sets its caption. The dialog stays usable while it runs; OK reads the bar.
set -euo pipefail
quillet=${QUILLET:-quillet}

# The feed's text reaches bash as written: no quoting for the markup is needed.
PROGRESS_DIALOG=$(cat <<'EOF'
<window>
  <vbox>
    <text><label>Copying the photos of the first half of the year.</label></text>
    <progressbar variable="DONE">
      <label>Starting</label>
      <feed>
        n=0
        for month in January February March April May June; do
          echo "# Copying $month"
          sleep 0.2
          n=$((n + 1))
          echo $((n * 100 / 6))
        done
        echo "# All copied"
      </feed>
    </progressbar>
    <hbox>
      <button ok></button>
      <button cancel></button>
    </hbox>
  </vbox>
</window>
EOF
)
export PROGRESS_DIALOG

EXIT=
eval "$("$quillet" --program PROGRESS_DIALOG)"
case $EXIT in
  OK) ;;
  CANCEL) echo "Cancelled."; exit 0 ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac

# The bar comes back as a fraction from 0 to 1.
echo "DONE=$DONE"
if [[ $DONE == 1 ]]; then
  echo "Every month was copied."
else
  echo "OK was pressed before the copy ended."
fi
