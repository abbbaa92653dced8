#!/usr/bin/env bash
# quillet --check finds nothing wrong in any dialog of examples/. The scripts keep their
# dialogs in variables: each runs with QUILLET naming a stand-in that checks the dialog it is
# given instead of showing it and answers nothing, so that the script ends at once. demo.xml
# is checked as it is; gallery.sh shows the others. Prints what is found and fails on it.
#
#   tests/check-examples.sh path/to/quillet
set -uo pipefail
quillet=$(realpath "$1")
examples=$(cd "$(dirname "$0")/../examples" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/check" <<'EOF'
#!/usr/bin/env bash
"$CHECK_QUILLET" --check "$@" >>"$CHECK_LOG"
echo $? >>"$CHECK_LOG.status"
exit 1
EOF
chmod +x "$work/check"
failed=0
for script in "$examples"/*.sh "$examples"/*.py; do
  name=$(basename "$script")
  [[ $name == gallery.sh ]] && continue
  log=$work/$name.log
  : >"$log"
  if [[ $name == demo.sh ]]; then
    DEMO_DIALOG=$(cat "$examples/demo.xml") "$quillet" --check -p DEMO_DIALOG >"$log"
    echo $? >"$log.status"
  else
    mkdir -p "$work/home/$name"
    (cd "$work/home/$name" && HOME=$PWD XDG_CONFIG_HOME=$PWD/.config QUILLET=$work/check \
      CHECK_QUILLET=$quillet CHECK_LOG=$log timeout 30 "$script" </dev/null >/dev/null 2>&1)
  fi
  if [[ ! -s $log.status ]]; then
    echo "$name: quillet was never run"
    failed=1
  elif [[ -s $log ]] || grep -qv '^0$' "$log.status"; then
    sed "s/^/$name: /" "$log"
    failed=1
  fi
done
exit "$failed"
