#!/usr/bin/env bash
# Whether two builds turn the same random programs into the same layouts, actions and extras:
# for a change of the code that must leave every layout as it was.
#   tests/fuzz/same-layouts.sh [-o] OLD_BUILD NEW_BUILD [SEEDS [COUNT]]
# -o: programs of the markup OLD_BUILD knew only, for a change that adds to the markup.
# Prints a line per seed and the first difference; ends with status 1 if there is one.
set -euo pipefail
only_old=()
if [[ ${1-} == -o ]]; then
  only_old=(--old)
  shift
fi
old=$(realpath "$1") new=$(realpath "$2") seeds=${3:-20} count=${4:-500}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QUILLET_TEST_WORD=w0rd
run() {
  # Layouts are printed without a display; GTK only parses them when a case checks. What the
  # walk says of the markup ("== line N: ...") is no part of the layout.
  (cd "$work" && xvfb-run -a "$1/tests/test-transform" programs.txt | grep -v '^== line ')
}
status=0
for ((seed = 1; seed <= seeds; seed++)); do
  python3 "$here/random-programs.py" "${only_old[@]}" "$seed" "$count" >"$work/programs.txt"
  run "$old" >"$work/old"
  run "$new" >"$work/new"
  if cmp -s "$work/old" "$work/new"; then
    echo "seed $seed: $count programs, $(wc -c <"$work/new") bytes, the same"
  else
    echo "seed $seed: they differ"
    # diff says they differ, and head may close the pipe early: neither ends the run.
    diff "$work/old" "$work/new" | head -n 40 || true
    status=1
  fi
done
exit "$status"
