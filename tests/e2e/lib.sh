# Sourced by the end-to-end scripts: a private display server, D-Bus session and temp dir,
# TAP reporting, and running one dialog while drive.py works it.
# The scripts take the quillet binary as $1; meson passes the tools in XVFB_RUN,
# DBUS_RUN_SESSION, XDOTOOL and PYTHON. The display server is Xvfb, or with
# E2E_DISPLAY=wayland a headless weston (WESTON) and no X server at all.
# shellcheck shell=bash

set -u

E2E_SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
QUILLET=$(realpath "${1:?usage: $0 QUILLET}")
: "${XVFB_RUN:?}" "${DBUS_RUN_SESSION:?}" "${XDOTOOL:?}" "${PYTHON:?}"
export XDOTOOL
export E2E_DISPLAY=${E2E_DISPLAY:-x11}
# Headless weston has no seat, and GTK logs a critical about it at start-up.
E2E_G_DEBUG=fatal-criticals
[[ $E2E_DISPLAY == wayland ]] && E2E_G_DEBUG=

# Runs the calling script again inside an X server and a D-Bus session of its own, with HOME
# and the XDG dirs in a temp dir that is removed afterwards. Inside, it returns at once.
e2e_session() {
  if [[ -n ${E2E_INSIDE:-} ]]; then
    exec 1>&4 2>&3 3>&- 4>&-
    return
  fi
  E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/quillet-e2e.XXXXXX") || exit 1
  export E2E_INSIDE=1 E2E_TMP
  export HOME=$E2E_TMP/home XDG_CONFIG_HOME=$E2E_TMP/config XDG_CACHE_HOME=$E2E_TMP/cache \
    XDG_DATA_HOME=$E2E_TMP/data XDG_STATE_HOME=$E2E_TMP/state XDG_RUNTIME_DIR=$E2E_TMP/runtime
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  export GSETTINGS_BACKEND=memory
  # The unit tests turn the accessibility bridge off; the driver needs it.
  unset NO_AT_BRIDGE
  local rc=0
  # The session's daemons chatter on both streams: that goes to a log, and the script gets
  # the real streams back through fds 3 and 4.
  if [[ $E2E_DISPLAY == wayland ]]; then
    e2e_weston "$@" 3>&2 4>&1 >"$E2E_TMP/session.log" 2>&1 || rc=$?
  else
    # Never a Wayland display of the desktop the tests were started from.
    unset WAYLAND_DISPLAY
    export GDK_BACKEND=x11
    # A random first display number keeps clear of other X servers started at the same time.
    # Without -noreset the server resets whenever its last client leaves (an xdotool poll,
    # a dialog that ended) and drops a client that connects meanwhile.
    "$XVFB_RUN" -a -n $((200 + RANDOM % 500)) -s '-screen 0 1280x1024x24 -noreset' \
      "$DBUS_RUN_SESSION" -- bash "$0" "$@" 3>&2 4>&1 >"$E2E_TMP/session.log" 2>&1 || rc=$?
  fi
  if ((rc != 0)); then
    sed 's/^/session: /' "$E2E_TMP/session.log" >&2
  fi
  rm -rf "$E2E_TMP"
  exit "$rc"
}

# Runs the script inside a D-Bus session with a headless weston of its own as the only
# display server, its socket in the session's runtime dir; weston is ended afterwards.
e2e_weston() {
  : "${WESTON:?}"
  unset DISPLAY XAUTHORITY
  export GDK_BACKEND=wayland WAYLAND_DISPLAY=quillet-e2e
  "$WESTON" --backend=headless-backend.so --use-pixman --socket="$WAYLAND_DISPLAY" \
    --idle-time=0 --no-config 3>&- 4>&- &
  local weston=$! rc=0
  if await 200 test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" && ! exited "$weston"; then
    "$DBUS_RUN_SESSION" -- bash "$0" "$@" || rc=$?
  else
    echo "weston did not start within 10 s" >&2
    rc=1
  fi
  kill "$weston" 2>/dev/null
  await_exit "$weston" || kill -KILL "$weston"
  wait "$weston"
  return "$rc"
}

## TAP

E2E_COUNT=0
E2E_FAILED=0

# check DESCRIPTION FUNCTION ARGS...: runs the case in a subshell inside a fresh directory
# and prints one TAP line for it.
check() {
  local description=$1
  shift
  E2E_COUNT=$((E2E_COUNT + 1))
  local dir=$E2E_TMP/case$E2E_COUNT
  mkdir -p "$dir"
  if (cd "$dir" && "$@"); then
    echo "ok $E2E_COUNT - $description"
  elif [[ -e $E2E_TMP/x-only$E2E_COUNT ]]; then
    echo "ok $E2E_COUNT - $description # SKIP $(cat "$E2E_TMP/x-only$E2E_COUNT")"
  else
    echo "not ok $E2E_COUNT - $description"
    E2E_FAILED=$((E2E_FAILED + 1))
  fi
}

done_testing() {
  echo "1..$E2E_COUNT"
  ((E2E_FAILED == 0))
}

# Failure notes go to stderr, where meson keeps them in the test log.
note() {
  printf '# %s\n' "$@" >&2
}

# x_only: true under X; under Wayland it marks the case skipped and is false, so a case that
# cannot be run without X starts with `x_only || return`.
x_only() {
  [[ $E2E_DISPLAY != wayland ]] && return 0
  skip_case "needs X"
}

# skip_case REASON: marks the case skipped and is false.
skip_case() {
  echo "$1" >"$E2E_TMP/x-only$E2E_COUNT"
  return 1
}

# same WHAT GOT WANT
same() {
  [[ $2 == "$3" ]] && return 0
  note "$1: got $(printf %q "$2"), want $(printf %q "$3")"
  return 1
}

# file_is WHAT FILE WANT: the file holds exactly WANT (trailing newlines count).
file_is() {
  [[ -f $2 ]] || { note "$1: no file $2"; return 1; }
  local got
  got=$(cat "$2"; echo x)
  same "$1" "${got%x}" "$3"
}

## Dialogs

# A command quillet is started through (to run it as another user, say); cases may set it.
QUILLET_PREFIX=()

exited() {
  local state
  state=$(cut -d' ' -f3 "/proc/$1/stat" 2>/dev/null) || return 0
  [[ $state == Z ]]
}

# await STEPS COMMAND...: runs COMMAND every 0.05 s until it succeeds, at most STEPS times.
await() {
  local i
  for ((i = 0; i < $1; i++)); do
    "${@:2}" && return 0
    sleep 0.05
  done
  "${@:2}"
}

# await_exit PID [STEPS]: waits up to STEPS x 0.05 s (10 s by default) for PID to end.
await_exit() {
  await "${2:-200}" exited "$1"
}

# drive PID STEP...: drive.py works the dialog of PID. Steps with no Wayland equivalent
# (drive.py ends with 77) mark the case skipped.
drive() {
  local rc=0
  timeout -k 2 $((60 * ${E2E_SLOW:-1})) "$PYTHON" "$E2E_SRC/drive.py" "$@" || rc=$?
  ((rc == 77)) && ! x_only && return 1
  ((rc == 0)) || note "the dialog could not be driven"
  return "$rc"
}

# start ARGS...: quillet --program DIALOG ARGS in the background in the current directory,
# through QUILLET_PREFIX; stdout ./out, stderr ./err. GTK's critical warnings abort it, so
# that they count as crashes, unless a case clears CRITICALS.
CRITICALS=$E2E_G_DEBUG
start() {
  G_DEBUG=$CRITICALS "${QUILLET_PREFIX[@]}" "$QUILLET" --program DIALOG "$@" >out 2>err &
  PID=$!
}

# stop: kills quillet ($PID) and fails.
stop() {
  kill -KILL "$PID" 2>/dev/null
  wait "$PID"
  return 1
}

# window_or_end: quillet ($PID) has ended or shows a window.
window_or_end() {
  exited "$PID" || [[ -n $("$XDOTOOL" search --onlyvisible --pid "$PID" 2>/dev/null) ]]
}

# outcome STEP...: waits for quillet ($PID) to end or to show its window, which drive.py
# then works with the steps; quillet must end within 10 s of them. Sets SHOWN and STATUS,
# and fails on a hang or a signal.
outcome() {
  local slow=${E2E_SLOW:-1}
  SHOWN=yes STATUS=
  # Under Wayland there is no window to look for: drive.py waits for it.
  if [[ $E2E_DISPLAY == x11 ]]; then
    await $((600 * slow)) window_or_end
    exited "$PID" && SHOWN=no
  fi
  if [[ $SHOWN == yes ]] && ! drive "$PID" "$@"; then
    stop
    return 1
  fi
  await_exit "$PID" $((200 * slow)) || { note "quillet did not end (shown: $SHOWN)"; stop; return 1; }
  wait "$PID"
  STATUS=$?
  ((STATUS <= 1)) || {
    note "ended by signal $((STATUS - 128)); its standard error ends:"
    tail -n 30 err | sed 's/^/#   /' >&2
    return 1
  }
}

# program FILE: the dialog is tests/e2e/data/FILE.
program() {
  DIALOG=$(<"$E2E_SRC/data/$1") && export DIALOG
}

# run_dialog STEP...: runs quillet --program DIALOG while drive.py does the steps on its
# window (stdout ./out, stderr ./err, exit status in STATUS).
run_dialog() {
  start && outcome "$@" && same shown "$SHOWN" yes
}

# ended STATUS OUT: the run ended with that status, that exact stdout and an empty stderr.
ended() {
  same status "$STATUS" "$1" && file_is stdout out "$2" && file_is stderr err ''
}

# png FILE WIDTH HEIGHT [ROWS]: a red PNG declaring WIDTH x HEIGHT pixels and holding the
# first ROWS of them (all by default).
png() {
  "$PYTHON" - "$@" <<'EOF'
import struct, sys, zlib
path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rows = int(sys.argv[4]) if len(sys.argv) > 4 else height
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
with open(path, "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress((b"\0" + b"\xff\0\0" * width) * rows)) + chunk(b"IEND", b""))
EOF
}

## Case files

# cases FILE: a check for each case of tests/e2e/data/FILE. A case starts with a line
# "== DESCRIPTION"; then, a line each:
#   program FILE   the dialog is tests/e2e/data/FILE
#   run WORDS      a command run first, in the case's directory (shell words)
#   script NAME    not quillet but examples/NAME.sh runs, and drive.py works its dialog
#   args WORDS     more arguments after --program DIALOG (shell words)
#   steps WORDS    what drive.py does (shell words; several steps lines add up)
#   status N       the exit status (0 if not given)
#   then WORDS     a command run once quillet has ended, before the texts are compared
# and texts, each of lines written "| LINE" below its heading:
#   dialog         the dialog itself; with neither, the program is empty
#   stdout         the standard output, exactly (empty if not given); stderr the same
#   lines, match   instead of stdout: lines it holds, whole (match: extended regexps)
#   file NAME      a file in the case's directory, exactly
#   eval NAME      the value of NAME once quillet's answer is evaluated
# In texts, @DIR@ is the case's directory and @HOME@ the home directory. No temporary copy
# of the layout may be left, and evaluating the answer must create no file named pwned*.
cases() {
  local line description=
  local -a lines=()
  while IFS= read -r line; do
    if [[ $line == '== '* ]]; then
      [[ -z $description ]] || check "$description" run_case "${lines[@]}"
      description=${line#== } lines=()
    elif [[ -n $line && $line != '#'* ]]; then
      lines+=("$line")
    fi
  done <"$E2E_SRC/data/$1"
  [[ -z $description ]] || check "$description" run_case "${lines[@]}"
}

run_case() {
  local line text=dialog want_status=0 name script=
  local -a args=() steps=() after=()
  local -A want=([dialog]='' [out]='' [err]='')
  for line; do
    case $line in
    '|'*) line=${line#|} && line=${line# } && line=${line//@DIR@/$PWD} &&
      want[$text]+=${line//@HOME@/$HOME}$'\n' ;;
    'program '*) program "${line#program }" && want[dialog]=$DIALOG$'\n' ;;
    'script '*) script=${line#script } ;;
    'run '*) eval "${line#run }" || return 1 ;;
    'args '*) eval "args+=(${line#args })" ;;
    'steps '*) eval "steps+=(${line#steps })" ;;
    'status '*) want_status=${line#status } ;;
    'then '*) after+=("${line#then }") ;;
    dialog | stdout | stderr) text=${line/stdout/out} text=${text/stderr/err} ;;
    lines | match) text=$line && unset 'want[out]' ;;
    'file '* | 'eval '*) text=${line/file /} text=${text/eval /=} ;;
    *) note "bad line: $line" && return 1 ;;
    esac
  done
  export DIALOG=${want[dialog]//@DIR@/$PWD}
  unset 'want[dialog]'
  if [[ -n $script ]]; then
    run_example "$script" "${steps[@]}" || return 1
  else
    start "${args[@]}" && outcome "${steps[@]}" || return 1
  fi
  same status "$STATUS" "$want_status" || return 1
  for line in "${after[@]}"; do
    eval "$line" || { note "failed: $line"; return 1; }
  done
  for name in "${!want[@]}"; do
    case $name in
    lines | match)
      text=-Fxq && [[ $name == lines ]] || text=-Exq
      while IFS= read -r line; do
        grep "$text" -- "$line" out || { note "no line $line; stdout: $(cat out)"; return 1; }
      done <<<"${want[$name]%$'\n'}"
      ;;
    =*) ;;
    *) file_is "$name" "$name" "${want[$name]}" || return 1 ;;
    esac
  done
  same "temporary copies left" "$(compgen -G 'debug_generated_layout.xml.*')" '' || return 1
  [[ -z $script ]] || return 0
  # A JSON answer is for the readers of `then` lines only: it is no shell.
  [[ $(<out) == '{'* ]] || eval "$(<out)" >/dev/null 2>&1
  for name in "${!want[@]}"; do
    line=${name#=}
    [[ $name != =* ]] || same "$line" "${!line}"$'\n' "${want[$name]}" || return 1
  done
  same "files made by commands in values" "$(compgen -G 'pwned*')" ''
}

## Example scripts

# quillet_under SCRIPT_PID: the quillet process the script started, waited for at most 10 s.
# bash may exec the command substitution, so quillet is a child or a grandchild.
quillet_under() {
  await $((200 * ${E2E_SLOW:-1})) quillet_child "$1"
}

quillet_child() {
  local child
  for child in "$1" $(pgrep -P "$1"); do
    pgrep -n -x quillet -P "$child" && return 0
  done
  return 1
}

# stop_tree PID: kills the script and what it started, children first.
stop_tree() {
  local child
  for child in $(pgrep -P "$1"); do
    stop_tree "$child"
  done
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}

# run_example NAME STEP...: runs examples/NAME.sh (NAME itself when it has an extension) in
# the case's directory (stdout ./out, stderr ./err, exit status in STATUS) while drive.py
# works its dialog. The script must end within 10 s of the last step.
run_example() {
  local name=$1 pid qpid file=$E2E_SRC/../../examples/$1
  shift
  [[ $name == *.* ]] || file+=.sh
  QUILLET=$QUILLET G_DEBUG=$CRITICALS "$file" >out 2>err &
  pid=$!
  qpid=$(quillet_under "$pid") || { note "$name started no quillet: $(cat out err)"; }
  if [[ -z $qpid ]] || ! drive "$qpid" "$@" || ! await_exit "$pid" $((200 * ${E2E_SLOW:-1})); then
    note "$name was not worked to its end; stdout: $(cat out)"
    stop_tree "$pid"
    return 1
  fi
  wait "$pid"
  STATUS=$?
}
