#!/usr/bin/env bash
# A list of 100 000 rows with a check column and an icon column: the time from exec to the
# window being mapped, and the peak memory, against the same rows without those columns, the
# same lines with every column text, and yad --list --checklist reading the same rows from
# its standard input. Then what a tick, a radio tick and an edit cost at the first row and at
# the last (list-ticks). Prints figures; it never fails on a time.
#
# Usage: bench/list-worked.sh [-n RUNS] [-r ROWS] [-q QUILLET] [BUILD_DIR]
#   -n  runs of each program, alternating (default 5); medians are printed
#   -r  rows in the list (default 100000)
#   -q  the quillet program to measure (default BUILD_DIR/quillet)
# Every quillet list has its rows before the window shows (<input>); yad's window may show
# before its last row is in, so for yad "last row in" is the moment its standard input has
# been drained.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=5
rows=100000
quillet=
while getopts "n:r:q:h" opt; do
  case $opt in
  n) runs=$OPTARG ;;
  r) rows=$OPTARG ;;
  q) quillet=$OPTARG ;;
  *)
    sed -n '8,11p' "$0" >&2
    exit 2
    ;;
  esac
done
shift $((OPTIND - 1))
build=$(cd "${1:-$root/build}" && pwd)
time_to_map=$build/bench/startup/startup-time-to-map
ticks=$build/bench/list-ticks
quillet=${quillet:-$build/quillet}
for program in "$quillet" "$time_to_map" "$ticks"; do
  [[ -x $program ]] || { echo "list-worked.sh: $program is missing; build it first" >&2; exit 1; }
done
# shellcheck source=on-xvfb.sh
source "$root/bench/on-xvfb.sh"
on_xvfb list-worked.sh

# File names with their sizes, as a list of files to choose from would show them.
seq -f "/home/user/photos/2024/holiday/IMG_%06g.jpg" 1 "$rows" | awk '{ print $0 "|" NR * 7 }' \
  >"$work/plain"
sed 's/^/false|image-x-generic|/' "$work/plain" >"$work/worked"
tr '|' '\n' <"$work/worked" | sed 's/^false$/FALSE/' >"$work/yad"
list() { # ROWS_FILE COLUMNS [TYPES]
  printf '<window><vbox><list variable="L" columns="%s" %s><input>cat %s</input></list><button ok></button></vbox></window>' \
    "$2" "${3:+column-types=\"$3\"}" "$work/$1"
}
export PLAIN_DIALOG TEXT_DIALOG WORKED_DIALOG
PLAIN_DIALOG=$(list plain 'Name|Size')
TEXT_DIALOG=$(list worked 'Pick|Icon|Name|Size')
WORKED_DIALOG=$(list worked 'Pick|Icon|Name|Size' 'check|icon|text|number')

# Writes the lines into the FIFO yad reads and makes the file "drained" once it is.
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
  plain | text | worked)
    local name=${1^^}_DIALOG
    line=$(timeout -k 5 120 "$time_to_map" -t 60 -s 250 -- "$work/quillet" --program "$name") ;;
  yad)
    mkfifo in
    /usr/bin/python3 -c "$feeder" in "$work/yad" drained &
    line=$(timeout -k 5 120 "$time_to_map" -t 60 -s 250 -d drained -- \
      yad --list --checklist --column=Pick:CHK --column=Icon:IMG --column=Name \
      --column=Size:NUM --width=450 --height=350 <in) || true
    wait $! || true ;;
  esac
  cd "$work"
  [[ -n $line ]] || return 0
  local map rss last
  map=$(grep -o 'map_ms=[0-9.]*' <<<"$line" | head -n 1)
  rss=$(grep -o 'maxrss_kb=[0-9]*' <<<"$line")
  last=$(grep -o 'done_ms=[0-9.]*' <<<"$line")
  echo "${map#*=} ${last#*=} ${rss#*=}"
}

programs=(plain text worked)
if command -v yad >/dev/null; then programs+=(yad); else echo "yad: not installed"; fi
declare -A label=([plain]="without them" [text]="the same, as text" [worked]="check and icon"
  [yad]="yad --checklist")
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

echo "A list of $rows rows with a check and an icon column: medians of $runs runs each"
echo "  without them: the rows without those two cells; the same, as text: every column text"
echo "display: Xvfb :$display_number, NO_AT_BRIDGE=1; cores: $(nproc); load: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '  %-20s %12s %16s %13s %12s %5s\n' program "window ms" "last row in ms" "peak RSS MiB" \
  "vs without" runs
awk -v names="${programs[*]}" -v labels="$(for p in "${programs[@]}"; do printf '%s;' "${label[$p]}"; done)" '
  function median(a, n,   i, j, t) {
    for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
  { n[$1]++; m[$1, n[$1]] = $2; d[$1, n[$1]] = $3; r[$1, n[$1]] = $4 }
  END {
    count = split(names, name, " "); split(labels, label, ";")
    for (k = 1; k <= count; k++) {
      p = name[k]
      if (n[p] == 0) { printf "  %-20s no run succeeded\n", label[k]; continue }
      for (i = 1; i <= n[p]; i++) { mm[i] = m[p, i]; dd[i] = d[p, i]; rr[i] = r[p, i] }
      med[p] = median(mm, n[p])
      printf "  %-20s %12.1f %16.1f %13.1f %11.2fx %5d\n", label[k], med[p], median(dd, n[p]),
        median(rr, n[p]) / 1024, med[p] / med["plain"], n[p]
    }
  }' "$work/results"
echo
"$ticks" "$rows" 1000
