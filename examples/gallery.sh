#!/usr/bin/env bash
# Regenerates docs/gallery/NAME.png: a screenshot of each example's dialog as it opens.
#
#   examples/gallery.sh            uses build/quillet
#   QUILLET=path/to/quillet examples/gallery.sh
#
# Without an X display it runs itself again on a virtual one. Needs xdotool and
# ImageMagick's import.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
gallery=$root/docs/gallery
examples=(text-and-entries choices numbers lists-and-trees notebooks-and-frames
  actions-and-timers complete-form reopened-form demo pickers error-message yes-no
  yes-no-later piped-progress user-list converter log-filter components rename-table downloads
  folder-tree)

if [ -z "${DISPLAY:-}" ]; then
  # A 24-bit screen: the default 8-bit one would spoil the colours.
  exec xvfb-run -a -s '-screen 0 1280x1024x24' "$0" "$@"
fi

quillet=$(realpath "${QUILLET:-$root/build/quillet}")
[ -x "$quillet" ] || { echo "gallery.sh: no quillet at $quillet; build it first" >&2; exit 1; }

# quillet writes debug_generated_layout.xml where it runs; keep that out of the tree.
work=$(mktemp -d)
script_pid=
# shellcheck disable=SC2317 # called by the EXIT trap
cleanup() {
  if [ -n "$script_pid" ]; then
    stop_tree "$script_pid"
  fi
  rm -rf "$work"
}
trap cleanup EXIT

descendants() {
  local child
  for child in $(pgrep -P "$1" || true); do
    echo "$child"
    descendants "$child"
  done
}

# Ends a script and everything it started, children first.
stop_tree() {
  local pid
  for pid in $(descendants "$1" | tac) "$1"; do
    kill "$pid" 2>/dev/null || true
  done
  timeout 5 tail --pid="$1" -f /dev/null || kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# The quillet process started by the script, waited for at most 10 seconds.
find_quillet() {
  local i pid
  for ((i = 0; i < 100; i++)); do
    for pid in $(descendants "$1"); do
      if [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = quillet ]; then
        echo "$pid"
        return 0
      fi
    done
    sleep 0.1
  done
  return 1
}

shoot() {
  local name=$1 quillet_pid window
  (cd "$work" && QUILLET=$quillet exec "$here/$name.sh" >"$work/$name.out" 2>&1) &
  script_pid=$!
  if ! quillet_pid=$(find_quillet "$script_pid") ||
    ! window=$(timeout 10 xdotool search --sync --onlyvisible --pid "$quillet_pid" | head -n 1) ||
    [ -z "$window" ]; then
    echo "gallery.sh: $name: no dialog appeared" >&2
    sed 's/^/    /' "$work/$name.out" >&2
    stop_tree "$script_pid"
    script_pid=
    return 1
  fi
  # Mapped is not yet drawn.
  sleep 0.5
  local status=0
  if timeout 10 import -window "$window" "$work/$name.png"; then
    mv "$work/$name.png" "$gallery/$name.png"
    echo "docs/gallery/$name.png"
  else
    echo "gallery.sh: $name: no screenshot" >&2
    status=1
  fi
  # Killing quillet is the same as closing the window: the script reads no answer and ends.
  stop_tree "$script_pid"
  script_pid=
  return "$status"
}

mkdir -p "$gallery"
failed=0
for name in "${examples[@]}"; do
  shoot "$name" || failed=1
done
exit "$failed"
