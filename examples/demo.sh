#!/usr/bin/env bash
# Shows the example dialog and prints what it returned. On a machine without a display it
# runs the dialog on a virtual one, fills it in and presses OK by itself, and saves a
# screenshot to demo.png.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
quillet=${QUILLET:-$here/../build/quillet}
DEMO_DIALOG=$(cat "$here/demo.xml")
export DEMO_DIALOG

if [ "${1:-}" = --headless-inner ]; then
  "$quillet" --program DEMO_DIALOG &
  pid=$!
  trap 'kill "$pid" 2>/dev/null || true' EXIT
  window=$(timeout 10 xdotool search --sync --onlyvisible --pid "$pid" | head -n 1)
  xdotool windowfocus --sync "$window"
  xdotool type --delay 10 'Ada Lovelace'
  # Entry, check box, combo box, OK: tick the box on the way.
  xdotool key Tab space Tab Tab
  sleep 0.3
  import -window "$window" "$here/demo.png"
  xdotool key space
  timeout 10 tail --pid="$pid" -f /dev/null
  exit 0
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  result=$("$quillet" --program DEMO_DIALOG)
else
  result=$(xvfb-run -a "$0" --headless-inner)
  echo "No display here: the dialog ran on a virtual one; see $here/demo.png"
fi

echo "quillet printed:"
printf '%s\n' "$result" | sed 's/^/    /'
NAME='' SUBSCRIBE='' COLOUR='' EXIT=''
eval "$result"
echo "The script read: EXIT=$EXIT NAME=$NAME SUBSCRIBE=$SUBSCRIBE COLOUR=$COLOUR"
