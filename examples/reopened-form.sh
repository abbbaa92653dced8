#!/usr/bin/env bash
# A form that reopens with the values it was given: mail account settings, kept between
# runs in a file of quillet's own output, which is safe to read back with ".".
set -euo pipefail
quillet=${QUILLET:-quillet}
settings=${XDG_CONFIG_HOME:-$HOME/.config}/quillet-examples/mail-account

# The values a first run starts with.
FULL_NAME='' SERVER=mail.example.org PORT=993 SECURITY=TLS INTERVAL=10 CHECK_AT_START=true
if [ -f "$settings" ]; then
  # shellcheck disable=SC1090 # written by this script from quillet's output
  . "$settings"
fi

# Values go into the markup as text: & and < must not start markup of their own.
# (The replacements are quoted: bash 5.2 reads a bare & in them as the text matched.)
xml_text() {
  local amp='&amp;' lt='&lt;'
  local text=${1//&/"$amp"}
  printf '%s' "${text//</"$lt"}"
}

# shellcheck disable=SC2089 # markup: the quotes are meant for it
MAIL_DIALOG="<window title=\"Mail account\" width=\"460\">
  <vbox>
    <text><label>Your mail account. What you save here comes back next time.</label></text>
    <notebook tabs=\"Account|Server\">
      <vbox>
        <text><label>Name</label></text>
        <entry variable=\"FULL_NAME\" placeholder=\"Ada Lovelace\">
          <default>$(xml_text "$FULL_NAME")</default></entry>
        <text><label>Password (never saved)</label></text>
        <entry variable=\"PASSWORD\" visibility=\"false\"></entry>
        <checkbox variable=\"CHECK_AT_START\"><label>Check for mail at start</label>
          <default>$CHECK_AT_START</default></checkbox>
      </vbox>
      <vbox>
        <text><label>Server</label></text>
        <entry variable=\"SERVER\" tooltip=\"The name of your mail server\">
          <default>$(xml_text "$SERVER")</default></entry>
        <text><label>Port</label></text>
        <spinbutton variable=\"PORT\" min=\"1\" max=\"65535\"><default>$PORT</default></spinbutton>
        <text><label>Security</label></text>
        <comboboxtext variable=\"SECURITY\">
          <item>None</item><item>STARTTLS</item><item>TLS</item>
          <default>$(xml_text "$SECURITY")</default>
        </comboboxtext>
        <text><label>Check every (minutes)</label></text>
        <slider variable=\"INTERVAL\" min=\"1\" max=\"60\" digits=\"0\"><default>$INTERVAL</default></slider>
      </vbox>
    </notebook>
    <hbox>
      <button ok><label>Save</label></button>
      <button cancel></button>
    </hbox>
  </vbox>
</window>"
# shellcheck disable=SC2090
export MAIL_DIALOG

EXIT=
answer=$("$quillet" --program MAIL_DIALOG) || exit 1
eval "$answer"
case $EXIT in
  OK) ;;
  CANCEL) echo "Cancelled: nothing saved."; exit 0 ;;
  *) echo "No answer: the window was closed or the dialog could not be shown." >&2; exit 1 ;;
esac

mkdir -p "$(dirname "$settings")"
grep -v -e '^EXIT=' -e '^PASSWORD=' <<<"$answer" >"$settings"
echo "Saved for $FULL_NAME: $SERVER port $PORT ($SECURITY), every $INTERVAL minutes," \
  "checking at start: $CHECK_AT_START."
[ -n "$PASSWORD" ] && echo "A password was typed."
exit 0
