# Sourced by the list benchmarks: a scratch folder ($work, holding a copy of $quillet) and a
# private Xvfb of its own, both gone when the script ends; DISPLAY set for X11 only.
#   on_xvfb NAME
on_xvfb() {
  command -v Xvfb >/dev/null || { echo "$1: Xvfb is missing" >&2; exit 1; }
  work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-$1.XXXXXX")
  xvfb_pid=
  trap on_xvfb_cleanup EXIT
  trap 'exit 130' INT TERM HUP
  cp "$quillet" "$work/quillet"
  mkfifo "$work/displayfd"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/displayfd" \
    >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  read -r -t 15 display_number <"$work/displayfd" || { cat "$work/xvfb.log" >&2; exit 1; }
  export DISPLAY=:$display_number GDK_BACKEND=x11 NO_AT_BRIDGE=1
  unset WAYLAND_DISPLAY
}

on_xvfb_cleanup() {
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
