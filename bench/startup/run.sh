#!/usr/bin/env bash
# Start-up benchmark: the wall time from starting a program to its dialog window being mapped,
# and the program's peak memory, for quillet against the floor (the least GTK program that
# shows the layout quillet generated), and zenity and yad where installed. Prints figures; it
# never fails on a time. Where weston is installed, quillet and the floor are also measured
# under a headless weston (rows -wl): the time from starting to the window's first frame.
#
# Usage: bench/startup/run.sh [-n RUNS] [-s SETTLE_MS] [-q QUILLET] [-g] [BUILD_DIR]
#   -n  runs of each program for each dialog, alternating (default 21, or $RUNS)
#   -s  milliseconds a program runs on after its window is mapped before it is ended, so its
#       peak memory includes the first frame (default 250)
#   -q  the quillet program to measure (default BUILD_DIR/quillet), to compare a variant
#   -g  also run the floor with GDK_GL=disable (row floor-nogl): GTK then skips loading the
#       OpenGL driver, which is much of a GTK 3 program's start-up on X
#   BUILD_DIR defaults to build; build it first with `ninja -C build`.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${RUNS:-21}
settle_ms=250
quillet_source=
gl_row=0
while getopts "n:s:q:gh" opt; do
  case $opt in
  n) runs=$OPTARG ;;
  s) settle_ms=$OPTARG ;;
  q) quillet_source=$OPTARG ;;
  g) gl_row=1 ;;
  *)
    sed -n '7,14p' "$0" >&2
    exit 2
    ;;
  esac
done
shift $((OPTIND - 1))
build=$(cd "${1:-$root/build}" && pwd)
quillet_source=${quillet_source:-$build/quillet}
[[ $runs =~ ^[1-9][0-9]*$ ]] || {
  echo "run.sh: RUNS must be a positive number" >&2
  exit 2
}

for program in "$quillet_source" "$build/bench/startup/startup-floor" \
  "$build/bench/startup/startup-time-to-map"; do
  if [[ ! -x $program ]]; then
    echo "run.sh: $program is missing; build it with: ninja -C $build" >&2
    exit 1
  fi
done
command -v Xvfb >/dev/null || {
  echo "run.sh: Xvfb is missing (Debian package xvfb)" >&2
  exit 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-startup.XXXXXX")
xvfb_pid=
weston_pid=
timeline_pid=
cleanup() {
  local pid
  for pid in $timeline_pid $weston_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# Copies, so a rebuild during the run cannot mix two versions into one set of figures.
mkdir "$work/bin"
cp "$quillet_source" "$work/bin/quillet"
cp "$build/bench/startup/startup-floor" "$build/bench/startup/startup-time-to-map" "$work/bin/"
quillet=$work/bin/quillet
floor=$work/bin/startup-floor
time_to_map=$work/bin/startup-time-to-map

# One X server for every run; it names a free display on the pipe once it is ready.
mkfifo "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/displayfd" \
  >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
if ! read -r -t 15 display_number <"$work/displayfd"; then
  echo "run.sh: Xvfb did not start within 15 s:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=:$display_number GDK_BACKEND=x11 NO_AT_BRIDGE=1
unset WAYLAND_DISPLAY
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime

# And a headless weston beside it, whose timeline (--debug lets weston-debug read it) tells
# when a window's first frame arrived.
wayland=0
timeline=$work/timeline.json
if command -v weston >/dev/null && command -v weston-debug >/dev/null; then
  weston --debug --backend=headless-backend.so --use-pixman --socket=quillet-bench \
    --idle-time=0 --no-config >"$work/weston.log" 2>&1 &
  weston_pid=$!
  for ((i = 0; i < 150; i++)); do
    [[ -S $XDG_RUNTIME_DIR/quillet-bench ]] && break
    sleep 0.1
  done
  if [[ -S $XDG_RUNTIME_DIR/quillet-bench ]]; then
    WAYLAND_DISPLAY=quillet-bench weston-debug -o "$timeline" timeline 2>>"$work/weston.log" &
    timeline_pid=$!
    wayland=1
  else
    echo "run.sh: weston did not start within 15 s; no Wayland rows:" >&2
    cat "$work/weston.log" >&2
  fi
fi
wayland_env="env -u DISPLAY GDK_BACKEND=wayland WAYLAND_DISPLAY=quillet-bench"

# (a) small: an entry and OK.
small='<window><vbox><entry variable="NAME"></entry><button ok></button></vbox></window>'

# (b) large: a notebook of 4 pages, each a notebook of 3 pages (one page tall on screen); each
# inner page a label, 2 frames of 10 widgets and a button, and 10 of the 12 a list of 100 rows.
large_program() {
  local nb page n=0 lists=0 row
  printf '<window>\n<vbox>\n<notebook>\n'
  for nb in 1 2 3 4; do
    printf '<vbox>\n<notebook>\n'
    for page in 1 2 3; do
      printf '<vbox>\n<text><label>Notebook %d, page %d</label></text>\n' "$nb" "$page"
      for _ in 1 2; do
        n=$((n + 1))
        printf '<frame Section %d>\n<hbox>\n' "$n"
        printf '<text><label>Step %d: check the values &amp; go on</label></text>\n' "$n"
        printf '<entry variable="ENTRY_%d"></entry>\n' "$n"
        printf '<checkbox variable="CHECK_%d"><label>Enable option %d</label></checkbox>\n' "$n" "$n"
        printf '</hbox>\n<hbox>\n<comboboxtext variable="COMBO_%d">' "$n"
        printf '<item>Red</item><item>Green</item><item>Blue</item><item>Cyan</item><item>Magenta</item>'
        printf '</comboboxtext>\n<spinbutton variable="COUNT_%d"></spinbutton>\n' "$n"
        printf '<slider variable="LEVEL_%d"></slider>\n</hbox>\n' "$n"
        printf '<edit variable="NOTES_%d"></edit>\n</frame>\n' "$n"
      done
      printf '<button variable="RUN_%d_%d"><label>Run</label></button>\n' "$nb" "$page"
      if ((lists < 10)); then
        lists=$((lists + 1))
        printf '<list variable="LIST_%d">\n' "$lists"
        for ((row = 1; row <= 100; row++)); do
          printf '<item>Row %d of list %d</item>\n' "$row" "$lists"
        done
        printf '</list>\n'
      fi
      printf '</vbox>\n'
    done
    printf '</notebook>\n</vbox>\n'
  done
  printf '</notebook>\n<hbox><button ok></button><button cancel></button></hbox>\n</vbox>\n</window>\n'
}

count_widgets() {
  grep -oE '<(window|vbox|hbox|notebook|frame|text|entry|edit|checkbox|button|comboboxtext|combobox|spinbutton|slider|timer|progressbar|tree|list)[ >]' |
    wc -l
}

cases=(small large)
declare -A program_text=([small]=$small [large]=$(large_program))
declare -A title=(
  [small]="(a) small: an entry and OK"
  [large]="(b) large: notebooks 4 pages x 3 pages, 24 frames, 10 lists of 100 rows"
)

# Runs one program under the timer in the case's directory; prints its figures or nothing.
# A program under Wayland is timed to its first frame in weston's timeline.
measure() { # case [-w] program...
  local case=$1 until=()
  shift
  [[ $1 == -w ]] && until=(-w "$timeline") && shift
  (cd "$work/$case" && DIALOG=${program_text[$case]} timeout -k 5 60 \
    "$time_to_map" -t 20 -s "$settle_ms" "${until[@]}" -- "$@" 2>>"$work/$case/log")
}
# The command line of a program as measure takes it.
timed() { # case program
  [[ $2 == *-wl ]] && printf -- '-w '
  printf '%s' "${command_line[$1/$2]}"
}

declare -A command_line
programs_for() { # case
  local list=(floor quillet)
  ((gl_row)) && list+=(floor-nogl)
  ((wayland)) && list+=(floor-wl quillet-wl)
  if [[ $1 == small ]]; then
    command -v zenity >/dev/null && list+=(zenity)
    command -v yad >/dev/null && list+=(yad)
  fi
  echo "${list[@]}"
}

load_at_start=$(cut -d' ' -f1-3 /proc/loadavg)
for case in "${cases[@]}"; do
  mkdir "$work/$case"
  # quillet writes the layout it generated here; the floor shows that very file.
  if ! measure "$case" "$quillet" --program DIALOG >/dev/null ||
    [[ ! -s $work/$case/debug_generated_layout.xml ]]; then
    echo "run.sh: quillet did not show the $case dialog:" >&2
    cat "$work/$case/log" >&2
    exit 1
  fi
  command_line[$case/quillet]="$quillet --program DIALOG"
  command_line[$case/floor]="$floor $work/$case/debug_generated_layout.xml"
  # env costs one more exec, well under a millisecond.
  command_line[$case/floor-nogl]="env GDK_GL=disable $floor $work/$case/debug_generated_layout.xml"
  command_line[$case/quillet-wl]="$wayland_env $quillet --program DIALOG"
  command_line[$case/floor-wl]="$wayland_env $floor $work/$case/debug_generated_layout.xml"
  command_line[$case/zenity]="zenity --entry"
  command_line[$case/yad]="yad --form --field=Name"
  cp "$work/$case/debug_generated_layout.xml" "$work/$case/layout-first.xml"
  # One untimed run each warms the page cache and the font and icon caches.
  for program in $(programs_for "$case"); do
    # shellcheck disable=SC2046 # the command line is meant to split
    measure "$case" $(timed "$case" "$program") >/dev/null || true
  done
done

echo "quillet start-up: time from exec to the dialog window mapped (MapNotify on the root window)"
echo "runs: $runs per program and dialog, alternating; each program ended ${settle_ms} ms after its map"
if ((wayland)); then
  echo "Wayland (rows -wl, compared with floor-wl): time from exec to the first frame of the window"
  echo "  reaching a headless weston (its commit in weston's timeline; a Wayland window is mapped"
  echo "  by its first frame, an X window before it), no X display; weston $(weston --version | cut -d' ' -f2)"
else
  echo "Wayland: weston or weston-debug is not installed, no -wl rows"
fi
echo "display: Xvfb :$display_number 1280x1024x24, NO_AT_BRIDGE=1; work dir on $(df --output=fstype "$work" | tail -n 1)"
echo "quillet: $quillet_source (sha256 $(sha256sum "$quillet" | cut -c1-12)," \
  "built $(date -r "$quillet_source" '+%F %T'))"
echo "cores: $(nproc); load average at start: $load_at_start"
echo "columns: map ms = exec to map (median, then min-max); paired = median over the rounds of"
echo "  the ratio to the floor's run in the same round; CPU ms = CPU time of all its threads up to"
echo "  the map; wait ms = time it was ready to run but waited for a CPU up to the map (other"
echo "  load); RSS = peak resident memory (wait4's ru_maxrss); window = size of the window mapped"
echo

results=$work/results.tsv
: >"$results"
failures=0
started=$(date +%s)
read -r _ cpu_at_start <<<"$(head -n 1 /proc/stat)"
for ((round = 1; round <= runs; round++)); do
  for case in "${cases[@]}"; do
    read -r -a programs <<<"$(programs_for "$case")"
    # Each round starts with the next program, so none always runs first.
    for ((k = 0; k < ${#programs[@]}; k++)); do
      program=${programs[$(((round + k) % ${#programs[@]}))]}
      # shellcheck disable=SC2046 # the command line is meant to split
      if line=$(measure "$case" $(timed "$case" "$program")) && [[ -n $line ]]; then
        read -r map rss cpu wait _ _ size _ <<<"$line"
        printf '%s\t%s\t%d\t%s\t%s\t%s\t%s\t%s\n' "$case" "$program" "$round" "${map#map_ms=}" \
          "${rss#maxrss_kb=}" "${cpu#cpu_to_map_ms=}" "${wait#runqueue_wait_to_map_ms=}" \
          "${size#size=}" >>"$results"
      else
        failures=$((failures + 1))
      fi
    done
  done
done
elapsed=$(($(date +%s) - started))
read -r _ cpu_at_end <<<"$(head -n 1 /proc/stat)"

for case in "${cases[@]}"; do
  layout=$work/$case/debug_generated_layout.xml
  cmp -s "$layout" "$work/$case/layout-first.xml" ||
    echo "warning: quillet wrote another $case layout during the run"
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$case" "${title[$case]}" \
    "$(count_widgets <<<"${program_text[$case]}")" "$(grep -c '<row>' "$layout")" \
    "$(printf '%s' "${program_text[$case]}" | wc -c)" "$(wc -c <"$layout")"
done >"$work/cases.tsv"
for case in "${cases[@]}"; do
  printf '%s\t%s\n' "$case" "$(programs_for "$case")"
done >"$work/programs.tsv"

# Tables and targets from the runs. Times are compared on medians; the paired ratio and its
# middle half show how far the load on the machine blurs them.
awk -F'\t' -v cases_file="$work/cases.tsv" -v programs_file="$work/programs.tsv" '
function median(a, n) { return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
function sorted(src, key, n, dst,   i, j, t) { # copies src[key, 1..n] into dst, sorted
  for (i = 1; i <= n; i++) dst[i] = src[key, i]
  for (i = 2; i <= n; i++) { t = dst[i]; for (j = i - 1; j >= 1 && dst[j] > t; j--) dst[j + 1] = dst[j]; dst[j + 1] = t }
}
function stat(col, c, p,   a, k, n) { # median of a column; sets lo and hi
  k = c SUBSEP p; n = count[k]; if (n == 0) { lo = hi = 0; return 0 }
  if (col == 4) sorted(map, k, n, a); else if (col == 5) sorted(rss, k, n, a)
  else if (col == 6) sorted(cpu, k, n, a); else sorted(wait, k, n, a)
  lo = a[1]; hi = a[n]; return median(a, n)
}
function base(p) { return p ~ /-wl$/ ? "floor-wl" : "floor" } # a Wayland row against the floor there
function paired(c, p,   r, n, v, a, i, t, j, b) { # median ratio to the floor in the same round
  n = 0; b = base(p)
  for (r = 1; r <= rounds; r++)
    if ((c, p, r) in by_round && (c, b, r) in by_round) v[++n] = by_round[c, p, r] / by_round[c, b, r]
  if (n == 0) { p25 = p75 = 0; return 0 }
  for (i = 2; i <= n; i++) { t = v[i]; for (j = i - 1; j >= 1 && v[j] > t; j--) v[j + 1] = v[j]; v[j + 1] = t }
  p25 = v[int((n - 1) / 4) + 1]; p75 = v[n - int((n - 1) / 4)]
  return median(v, n)
}
function verdict(text, value, op, limit, shown) {
  printf "  %-44s %s %-2s %s  %s\n", text, value, op, limit, (op == "<=" ? value + 0 <= limit + 0 : value + 0 < limit + 0) ? "met" : "NOT met"
}
BEGIN {
  while ((getline line < cases_file) > 0) { split(line, f, "\t"); ncase++; case_id[ncase] = f[1]; info[f[1]] = f[2] ": " f[3] " widgets, " f[4] " list rows, program " f[5] " bytes, layout " f[6] " bytes" }
  while ((getline line < programs_file) > 0) { split(line, f, "\t"); progs[f[1]] = f[2] }
}
{
  k = $1 SUBSEP $2; n = ++count[k]
  map[k, n] = $4; rss[k, n] = $5; cpu[k, n] = $6; wait[k, n] = $7
  by_round[$1, $2, $3] = $4; if ($3 > rounds) rounds = $3
  windows[k] = windows[k] == "" || index(" " windows[k] " ", " " $8 " ") == 0 ? (windows[k] == "" ? $8 : windows[k] " " $8) : windows[k]
}
END {
  for (i = 1; i <= ncase; i++) {
    c = case_id[i]; print info[c]
    printf "  %-10s %7s %15s %7s %7s %7s %7s %7s %7s %7s %-9s %4s\n", "program", "map ms", "min-max", "x floor", "paired", "CPU ms", "x floor", "wait ms", "RSS MiB", "x floor", "window", "runs"
    np = split(progs[c], plist, " ")
    for (j = 1; j <= np; j++) {
      p = plist[j]; k = c SUBSEP p
      fm = stat(4, c, base(p)); fr = stat(5, c, base(p)); fc = stat(6, c, base(p))
      m = stat(4, c, p); mlo = lo; mhi = hi; r = stat(5, c, p); u = stat(6, c, p); w = stat(7, c, p)
      med_map[c, p] = m; med_rss[c, p] = r; med_cpu[c, p] = u
      pr = p == base(p) ? "-" : sprintf("%.3f", paired(c, p))
      if (p != base(p)) { paired_mid[c, p] = sprintf("%.3f, middle half %.3f-%.3f", paired(c, p), p25, p75) }
      printf "  %-10s %7.1f %7.1f-%-7.1f %7.3f %7s %7.1f %7.3f %7.1f %7.1f %7.3f %-9s %4d\n", p, m, mlo, mhi, m / fm, pr, u, u / fc, w, r / 1024, r / fr, windows[k], count[k]
    }
    print ""
  }
  print "targets (medians of the time to map and of the peak RSS)"
  verdict("(a) quillet/floor time to map", sprintf("%.3f", med_map["small", "quillet"] / med_map["small", "floor"]), "<=", "1.03")
  verdict("(b) quillet/floor time to map", sprintf("%.3f", med_map["large", "quillet"] / med_map["large", "floor"]), "<=", "1.05")
  split("zenity yad", others, " ")
  for (j = 1; j <= 2; j++) {
    o = others[j]
    if (("small", o) in med_map) verdict("(a) quillet faster than " o ", ms", sprintf("%.1f", med_map["small", "quillet"]), "<", sprintf("%.1f", med_map["small", o]))
    else printf "  (a) quillet faster than %s: %s is not installed, skipped\n", o, o
  }
  verdict("(a) quillet/floor peak RSS", sprintf("%.3f", med_rss["small", "quillet"] / med_rss["small", "floor"]), "<=", "1.05")
  verdict("(b) quillet/floor peak RSS", sprintf("%.3f", med_rss["large", "quillet"] / med_rss["large", "floor"]), "<=", "1.05")
  print "how sure: quillet/floor time to map paired by round, median and middle half of the rounds"
  printf "  (a) %s\n  (b) %s\n", paired_mid["small", "quillet"], paired_mid["large", "quillet"]
  printf "  CPU time to map, quillet/floor: (a) %.3f (b) %.3f\n", med_cpu["small", "quillet"] / med_cpu["small", "floor"], med_cpu["large", "quillet"] / med_cpu["large", "floor"]
}' "$results"

echo
echo "noise: load average at end $(cut -d' ' -f1-3 /proc/loadavg) (at start $load_at_start);" \
  "failed runs $failures; measuring took ${elapsed} s"
# The machine's CPU time over the measuring, ours included; steal is time the hypervisor
# gave to other guests.
awk -v a="$cpu_at_start" -v b="$cpu_at_end" 'BEGIN {
  split(a, x, " "); split(b, y, " ")
  for (i = 1; i <= 8; i++) { d[i] = y[i] - x[i]; total += d[i] }
  printf "  all CPUs over the measuring: %.0f%% busy (ours and others), %.1f%% stolen by the host\n",
    100 * (total - d[4] - d[5]) / total, 100 * d[8] / total }'
if ((failures > 0)); then
  echo "  failures were logged:"
  tail -n 5 "$work"/*/log | sed 's/^/    /'
fi
