#!/usr/bin/env bash
# A list that changes while it is open: "Delete selected" removes the chosen account from a
# file and the list shows the file again; "Add" appends the name typed. The list's <input>
# reads the file, and refresh: runs it again.
# Usage: user-list.sh [FILE] (default: accounts.txt here, made with three names if missing)
set -euo pipefail
quillet=${QUILLET:-quillet}

ACCOUNTS_FILE=$(realpath -m "${1:-accounts.txt}")
[[ -e $ACCOUNTS_FILE ]] || printf '%s\n' ada brian grace >"$ACCOUNTS_FILE"
# Input commands and actions inherit the environment: the path needs no quoting for the markup.
export ACCOUNTS_FILE

USERS_DIALOG=$(cat <<'EOF2'
<window title="Accounts">
  <vbox>
    <text><label>Accounts in the file:</label></text>
    <list variable="ACCOUNT">
      <input>cat "$ACCOUNTS_FILE"</input>
      <action on="change">enable:DELETE</action>
    </list>
    <hbox>
      <entry variable="NEW_ACCOUNT" placeholder="New account"></entry>
      <button><label>Add</label>
        <action>sh -c '[ -n "$NEW_ACCOUNT" ] && printf "%s\n" "$NEW_ACCOUNT" >>"$ACCOUNTS_FILE"'</action>
        <action>refresh:ACCOUNT</action>
        <action>clear:NEW_ACCOUNT</action>
      </button>
      <button variable="DELETE" sensitive="false"><label>Delete selected</label>
        <action>sh -c 'grep -vxF -- "$ACCOUNT" "$ACCOUNTS_FILE" >"$ACCOUNTS_FILE.new"; mv "$ACCOUNTS_FILE.new" "$ACCOUNTS_FILE"'</action>
        <action>refresh:ACCOUNT</action>
        <action>disable:DELETE</action>
      </button>
    </hbox>
    <button ok><label>Done</label></button>
  </vbox>
</window>
EOF2
)
export USERS_DIALOG

EXIT=
eval "$("$quillet" --program USERS_DIALOG)"
case $EXIT in
  OK) ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac

echo "Accounts now: $(paste -sd' ' "$ACCOUNTS_FILE")"
