#!/usr/bin/env bash
# Notebook pages, frames, and boxes side by side and stacked: the settings of a mail
# account over two pages.
set -euo pipefail
quillet=${QUILLET:-quillet}

# Each child of the notebook is a page; "<frame Title words>" draws a titled frame.
export ACCOUNT_DIALOG='<window>
  <vbox>
    <notebook>
      <vbox>
        <frame Incoming mail>
          <text><label>Server</label></text>
          <entry variable="IMAP_SERVER"></entry>
          <hbox>
            <checkbox variable="IMAP_TLS"><label>Use TLS</label></checkbox>
            <checkbox variable="IMAP_IDLE"><label>Push new mail</label></checkbox>
          </hbox>
        </frame>
        <frame Outgoing mail>
          <text><label>Server</label></text>
          <entry variable="SMTP_SERVER"></entry>
        </frame>
      </vbox>
      <vbox>
        <frame Identity>
          <text><label>Name shown to others</label></text>
          <entry variable="DISPLAY_NAME"></entry>
          <text><label>Signature</label></text>
          <entry variable="SIGNATURE"></entry>
        </frame>
      </vbox>
    </notebook>
    <hbox>
      <button ok></button>
      <button cancel></button>
    </hbox>
  </vbox>
</window>'

EXIT=
eval "$("$quillet" --program ACCOUNT_DIALOG)"
case $EXIT in
  OK) ;;
  CANCEL) echo "Cancelled."; exit 0 ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac

echo "IMAP_SERVER=$IMAP_SERVER"
echo "IMAP_TLS=$IMAP_TLS"
echo "IMAP_IDLE=$IMAP_IDLE"
echo "SMTP_SERVER=$SMTP_SERVER"
echo "DISPLAY_NAME=$DISPLAY_NAME"
echo "SIGNATURE=$SIGNATURE"
