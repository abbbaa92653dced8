#!/usr/bin/env bash
# A complete form: a new backup job, over three notebook pages, using most widgets.
set -euo pipefail
quillet=${QUILLET:-quillet}

# The here-document is quoted: "$HOME" in the input command is for bash to expand when
# the dialog is built, not for this script.
BACKUP_DIALOG=$(cat <<'EOF'
<window>
  <vbox>
    <text><label>New backup job. Fill in the pages, then press OK.</label></text>
    <notebook>
      <vbox>
        <frame What and where>
          <text><label>Job name</label></text>
          <entry variable="JOB_NAME"></entry>
          <text><label>Folder to back up</label></text>
          <combobox variable="SOURCE">
            <input>printf '%s\n' "$HOME" /etc /var/log</input>
          </combobox>
          <text><label>Destination</label></text>
          <comboboxtext variable="DESTINATION">
            <item>External disk</item>
            <item>Network share</item>
            <item>R&D archive</item>
          </comboboxtext>
        </frame>
      </vbox>
      <vbox>
        <frame When>
          <text><label>Run every</label></text>
          <list variable="EVERY">
            <item>hour</item>
            <item>day</item>
            <item>week</item>
          </list>
          <hbox>
            <text><label>Copies to keep</label></text>
            <spinbutton variable="KEEP"></spinbutton>
          </hbox>
        </frame>
        <text><label>Compression level</label></text>
        <slider variable="COMPRESSION"></slider>
        <checkbox variable="VERIFY"><label>Check the copy after each run</label></checkbox>
      </vbox>
      <vbox>
        <frame Notes for whoever restores this backup>
          <edit variable="NOTES"></edit>
        </frame>
      </vbox>
    </notebook>
    <hbox>
      <button ok></button>
      <button cancel></button>
    </hbox>
  </vbox>
</window>
EOF
)
export BACKUP_DIALOG

EXIT=
eval "$("$quillet" --program BACKUP_DIALOG)"
case $EXIT in
  OK) ;;
  CANCEL) echo "Cancelled: no backup job was made."; exit 0 ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac

echo "JOB_NAME=$JOB_NAME"
echo "SOURCE=$SOURCE"
echo "DESTINATION=$DESTINATION"
echo "EVERY=$EVERY"
echo "KEEP=$KEEP"
echo "COMPRESSION=$COMPRESSION"
echo "VERIFY=$VERIFY"
echo "NOTES<<END"
printf '%s\n' "$NOTES"
echo "END"
# An empty list selection means the user picked no row.
echo "Backup job '${JOB_NAME:-unnamed}': $SOURCE to $DESTINATION every ${EVERY:-day}, keeping $KEEP copies."
