#!/bin/sh
# Editor settings kept in a file that is quillet's own answer, for any shell: each run starts
# from it with --values, which reads it as data. No value goes into the markup, so nothing
# needs escaping, and blanks, empty lines and every character come back as they were saved.
set -eu
quillet=${QUILLET:-quillet}
dir=${XDG_CONFIG_HOME:-$HOME/.config}/quillet-examples
settings=$dir/editor-settings

# The markup's defaults are for the first run, when there is no file yet.
# shellcheck disable=SC2089 # markup: the quotes are meant for it
SETTINGS='<window title="Editor settings" width="420">
  <vbox>
    <text><label>Font</label></text>
    <fontbutton variable="FONT"><default>Monospace 11</default></fontbutton>
    <text><label>Tab width</label></text>
    <spinbutton variable="TAB_WIDTH" min="1" max="16"><default>4</default></spinbutton>
    <checkbox variable="WRAP"><label>Wrap long lines</label></checkbox>
    <text><label>Theme</label></text>
    <comboboxtext variable="THEME">
      <item>Light</item><item>Dark</item><item>High contrast</item>
    </comboboxtext>
    <text><label>Header for new files</label></text>
    <edit variable="HEADER"><default>Written with care</default></edit>
    <hbox>
      <button ok><label>Save</label></button>
      <button cancel></button>
    </hbox>
  </vbox>
</window>'
# shellcheck disable=SC2090
export SETTINGS

mkdir -p "$dir"
# --format=sh: double quotes only, which this /bin/sh (dash, say) reads back as well as bash.
# The file is replaced only by an answer to OK: Cancel prints EXIT="CANCEL" alone, and a
# window closed prints nothing.
"$quillet" --program SETTINGS --format=sh --values="$settings" >"$settings.new" || {
  rm -f "$settings.new"
  echo "No answer: the dialog could not be shown." >&2
  exit 1
}
if [ "$(head -n 1 "$settings.new")" != 'EXIT="OK"' ]; then
  rm -f "$settings.new"
  echo "Nothing saved."
  exit 0
fi
mv "$settings.new" "$settings"

# shellcheck disable=SC1090 # quillet's own answer, which runs nothing
. "$settings"
echo "Saved: $FONT, tabs of $TAB_WIDTH, wrapping $WRAP, theme $THEME."
printf 'Header:\n%s\n' "$HEADER"
