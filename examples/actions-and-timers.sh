#!/usr/bin/env bash
# Actions and a timer. A button, a check box and a combo box each run a command when used,
# and a timer runs one every second; all of them append to temp files that the script
# reads after OK.
set -euo pipefail
quillet=${QUILLET:-quillet}

ACTION_LOG=$(mktemp)
TIMER_LOG=$(mktemp)
trap 'rm -f "$ACTION_LOG" "$TIMER_LOG"' EXIT
# Commands inherit the environment: they find the files through these variables, so no
# path has to be pasted into the dialog text.
export ACTION_LOG TIMER_LOG

# Actions run without a shell, so redirections need "sh -c '...'". The here-document is
# quoted so that the script leaves $ACTION_LOG for sh to expand.
ACTIONS_DIALOG=$(cat <<'EOF'
<window>
  <vbox>
    <text><label>Each control below runs a command. Use a few of them, then press OK to see what they did.</label></text>
    <button variable="GREET">
      <label>Say hello</label>
      <action>sh -c 'echo "button: hello" >> "$ACTION_LOG"'</action>
      <action>
        sh -c 'echo "button: a second command" >> "$ACTION_LOG"'
        sh -c 'echo "button: and a third" >> "$ACTION_LOG"'
      </action>
    </button>
    <checkbox variable="LIGHTS">
      <label>Lights on</label>
      <action>sh -c 'echo "check box: toggled" >> "$ACTION_LOG"'</action>
    </checkbox>
    <comboboxtext variable="COLOUR">
      <item>Red</item>
      <item>Green</item>
      <item>Blue</item>
      <action>sh -c 'echo "combo box: changed" >> "$ACTION_LOG"'</action>
    </comboboxtext>
    <timer variable="clock_timer">
      <action>sh -c 'date +%T >> "$TIMER_LOG"'</action>
    </timer>
    <hbox>
      <button ok></button>
      <button cancel></button>
    </hbox>
  </vbox>
</window>
EOF
)
export ACTIONS_DIALOG

EXIT=
eval "$("$quillet" --program ACTIONS_DIALOG)"
case $EXIT in
  OK) ;;
  CANCEL) echo "Cancelled."; exit 0 ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac

echo "LIGHTS=$LIGHTS"
echo "COLOUR=$COLOUR"
echo "The actions wrote:"
sed 's/^/    /' "$ACTION_LOG"
echo "The timer ran $(wc -l < "$TIMER_LOG") times while the dialog was open."
