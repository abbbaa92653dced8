#!/usr/bin/env bash
# Text, entries and a multi-line edit: asks for a name, an e-mail address and a few lines
# about the user, and prints what came back.
set -euo pipefail
quillet=${QUILLET:-quillet}

export PROFILE_DIALOG='<window>
  <vbox>
    <text><label>Tell us about yourself. Every field may be left empty.</label></text>
    <text><label>Full name</label></text>
    <entry variable="FULL_NAME"></entry>
    <text><label>E-mail address</label></text>
    <entry variable="EMAIL"></entry>
    <text><label>A few words about you (Return starts a new line)</label></text>
    <edit variable="ABOUT"></edit>
    <hbox>
      <button ok></button>
      <button cancel></button>
    </hbox>
  </vbox>
</window>'

# EXIT stays empty when the window is closed or quillet cannot show the dialog.
EXIT=
eval "$("$quillet" --program PROFILE_DIALOG)"
case $EXIT in
  OK) ;;
  CANCEL) echo "Cancelled."; exit 0 ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac

echo "FULL_NAME=$FULL_NAME"
echo "EMAIL=$EMAIL"
# The edit may hold several lines; the markers show exactly where it starts and ends.
echo "ABOUT<<END"
printf '%s\n' "$ABOUT"
echo "END"
