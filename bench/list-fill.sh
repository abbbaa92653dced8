#!/usr/bin/env bash
# A list of 100 000 rows: the time from exec to the window being mapped and to the last row
# being in, and the peak memory, for quillet with <input> (rows read before the window
# shows), quillet with <feed> (rows added while it shows) and yad --list reading the same
# lines from its standard input. Then a combo box of as many items: the time to the window,
# the time from Alt+Down to its drop-down being mapped, and the peak memory, for quillet and
# yad's --form combo field. Prints figures; it never fails on a time.
#
# Usage: bench/list-fill.sh [-n RUNS] [-r ROWS] [-c ITEMS] [-q QUILLET] [BUILD_DIR]
#   -n  runs of each program, alternating (default 5); medians are printed
#   -r  rows in the list (default 100000)
#   -c  items in the combo box (default 100000; 0 measures no combo box)
#   -q  the quillet program to measure (default BUILD_DIR/quillet), to compare a variant
# "Last row in": for <input>, the map itself; for <feed>, quillet's --debug line saying the
# feed ended, which comes after its last line went into the list; for yad, the moment its
# standard input has been drained (yad may still hold the last few kilobytes unread).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=5
rows=100000
items=100000
quillet=
while getopts "n:r:c:q:h" opt; do
  case $opt in
  n) runs=$OPTARG ;;
  r) rows=$OPTARG ;;
  c) items=$OPTARG ;;
  q) quillet=$OPTARG ;;
  *)
    sed -n '9,13p' "$0" >&2
    exit 2
    ;;
  esac
done
shift $((OPTIND - 1))
build=$(cd "${1:-$root/build}" && pwd)
time_to_map=$build/bench/startup/startup-time-to-map
quillet=${quillet:-$build/quillet}
for program in "$quillet" "$time_to_map"; do
  [[ -x $program ]] || { echo "list-fill.sh: $program is missing; build it first" >&2; exit 1; }
done
# shellcheck source=on-xvfb.sh
source "$root/bench/on-xvfb.sh"
on_xvfb list-fill.sh

# File names as a list of files would show them.
seq -f "/home/user/photos/2024/holiday/IMG_%06g.jpg" 1 "$rows" >"$work/lines"
list() { # ELEMENT
  printf '<window><vbox><list variable="L"><%s>cat %s</%s></list><button ok></button></vbox></window>' \
    "$1" "$work/lines" "$1"
}
export INPUT_DIALOG FEED_DIALOG
INPUT_DIALOG=$(list input) FEED_DIALOG=$(list feed)

# Writes the lines into the FIFO yad reads and makes the done file once it is drained.
feeder='import fcntl, os, struct, sys, termios, time
fifo, lines, done = sys.argv[1:]
fd = os.open(fifo, os.O_WRONLY)
data = memoryview(open(lines, "rb").read())
while data:
    data = data[os.write(fd, data):]
while struct.unpack("i", fcntl.ioctl(fd, termios.FIONREAD, b"\0" * 4))[0] > 0:
    time.sleep(0.001)
open(done, "w").close()
os.close(fd)'

measure() { # PROGRAM: prints "map_ms done_ms rss_kb" or nothing
  local dir=$work/run line
  rm -rf "$dir"
  mkdir "$dir"
  cd "$dir"
  case $1 in
  input)
    line=$(timeout -k 5 120 "$time_to_map" -t 60 -s 250 -- "$work/quillet" --program INPUT_DIALOG) ;;
  feed)
    line=$(timeout -k 5 120 "$time_to_map" -t 60 -s 250 -d done -- bash -c \
      'exec "$0" --debug --program FEED_DIALOG 2> >(grep -q "^\[QUILLET DEBUG\] The feed of" && : >done)' \
      "$work/quillet") ;;
  yad)
    mkfifo in
    /usr/bin/python3 -c "$feeder" in "$work/lines" done &
    line=$(timeout -k 5 120 "$time_to_map" -t 60 -s 250 -d done -- \
      yad --list --column=File --width=450 --height=350 <in) || true
    wait $! || true ;;
  esac
  cd "$work"
  [[ -n $line ]] || return 0
  local map rss done
  map=$(grep -o 'map_ms=[0-9.]*' <<<"$line" | head -n 1)
  rss=$(grep -o 'maxrss_kb=[0-9]*' <<<"$line")
  done=$(grep -o 'done_ms=[0-9.]*' <<<"$line")
  echo "${map#*=} ${done#*=} ${rss#*=}"
}

programs=(input feed)
if command -v yad >/dev/null; then programs+=(yad); else echo "yad: not installed"; fi
declare -A label=([input]="quillet <input>" [feed]="quillet <feed>" [yad]="yad --list (stdin)")
for program in "${programs[@]}"; do
  measure "$program" >/dev/null # warms the caches
done
: >"$work/results"
for ((round = 0; round < runs; round++)); do
  for ((k = 0; k < ${#programs[@]}; k++)); do
    program=${programs[$(((round + k) % ${#programs[@]}))]}
    line=$(measure "$program")
    [[ -n $line ]] && echo "$program $line" >>"$work/results"
  done
done

echo "A list of $rows rows ($(wc -c <"$work/lines") bytes): medians of $runs runs each"
echo "display: Xvfb :$display_number, NO_AT_BRIDGE=1; cores: $(nproc); load: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '  %-20s %12s %16s %13s %5s\n' program "window ms" "last row in ms" "peak RSS MiB" runs
for program in "${programs[@]}"; do
  awk -v p="$program" -v name="${label[$program]}" '
    function median(a, n,   i, j, t) {
      for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
      return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
    $1 == p { n++; m[n] = $2; d[n] = $3; r[n] = $4 }
    END { if (n == 0) { printf "  %-20s no run succeeded\n", name; exit }
      printf "  %-20s %12.1f %16.1f %13.1f %5d\n", name, median(m, n), median(d, n), median(r, n) / 1024, n }' \
    "$work/results"
done

((items > 0)) || exit 0
# The combo box: quillet's from an input command, yad's from one argument, which Linux
# takes up to 128 KiB.
seq "$items" >"$work/items"
export COMBO_DIALOG
COMBO_DIALOG="<window><vbox><combobox variable=\"C\"><input>cat $work/items</input></combobox><button ok></button></vbox></window>"
combo_programs=(quillet)
yad_items=$(paste -sd! "$work/items")
if ! command -v yad >/dev/null; then
  echo "yad: not installed"
elif ((${#yad_items} >= 128 * 1024)); then
  echo "yad --form: $items items do not fit in one argument (128 KiB)"
else
  combo_programs+=(yad)
fi
combo() { # PROGRAM: prints "map_ms drop_ms rss_kb", a figure that timed out as -1
  local line
  cd "$work"
  case $1 in
  quillet) line=$(timeout -k 5 200 /usr/bin/python3 "$root/bench/dropdown.py" 90 \
    "$work/quillet" --program COMBO_DIALOG) ;;
  yad) line=$(timeout -k 5 200 /usr/bin/python3 "$root/bench/dropdown.py" 90 \
    yad --form --field=C:CB "$yad_items") ;;
  esac
  local map=-1 drop=-1 rss=-1 word
  for word in $line; do
    case $word in
    map_ms=*) map=${word#*=} ;;
    drop_ms=*) drop=${word#*=} ;;
    maxrss_kb=*) rss=${word#*=} ;;
    esac
  done
  echo "$map $drop $rss"
}
: >"$work/combo"
for ((round = 0; round < runs; round++)); do
  for program in "${combo_programs[@]}"; do
    echo "$program $(combo "$program")" >>"$work/combo"
  done
done
declare -A combo_label=([quillet]="quillet <combobox>" [yad]="yad --form CB")
echo "A combo box of $items items: medians of $runs runs each (-1: timed out after 90 s)"
printf '  %-20s %12s %16s %13s %5s\n' program "window ms" "drop-down ms" "peak RSS MiB" runs
for program in "${combo_programs[@]}"; do
  awk -v p="$program" -v name="${combo_label[$program]}" '
    function median(a, n,   i, j, t) {
      for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
      return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
    $1 == p { n++; m[n] = $2; d[n] = $3; r[n] = $4 }
    END { printf "  %-20s %12.1f %16.1f %13.1f %5d\n", name, median(m, n), median(d, n), median(r, n) / 1024, n }' \
    "$work/combo"
done
