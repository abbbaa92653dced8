#!/usr/bin/env bash
# Check boxes and combo boxes: one combo box with items written in the dialog, one whose
# items are the output of a command run when the dialog is built.
set -euo pipefail
quillet=${QUILLET:-quillet}

# A quoted here-document keeps the single quotes of the input command as they are.
CHOICES_DIALOG=$(cat <<'EOF'
<window>
  <vbox>
    <text><label>How should the report be made?</label></text>
    <checkbox variable="CHARTS"><label>Include charts</label></checkbox>
    <checkbox variable="SEND_COPY"><label>Send me a copy</label></checkbox>
    <text><label>Paper size</label></text>
    <comboboxtext variable="PAPER">
      <item>A4</item>
      <item>Letter</item>
      <item>A3</item>
    </comboboxtext>
    <text><label>Shell for the report script (from /etc/shells)</label></text>
    <combobox variable="REPORT_SHELL">
      <input>grep '^/' /etc/shells</input>
    </combobox>
    <hbox>
      <button ok></button>
      <button cancel></button>
    </hbox>
  </vbox>
</window>
EOF
)
export CHOICES_DIALOG

EXIT=
eval "$("$quillet" --program CHOICES_DIALOG)"
case $EXIT in
  OK) ;;
  CANCEL) echo "Cancelled."; exit 0 ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac

echo "CHARTS=$CHARTS"
echo "SEND_COPY=$SEND_COPY"
echo "PAPER=$PAPER"
echo "REPORT_SHELL=$REPORT_SHELL"
if [ "$CHARTS" = true ]; then
  echo "The report will have charts."
fi
