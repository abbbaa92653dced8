#!/usr/bin/env python3
"""A problem report shown from Python: the answer is read as JSON, with no shell quoting to
take apart. Rows chosen in a multiple list come as a list of strings."""

import json
import os
import subprocess
import sys

DIALOG = """<window title="Report a problem" width="420">
  <vbox>
    <text><label>Summary</label></text>
    <entry variable="SUMMARY"></entry>
    <text><label>Where it happens</label></text>
    <list variable="PARTS" selection="multiple">
      <item>Installer</item><item>Editor</item><item>Printing</item><item>Sync</item>
    </list>
    <text><label>What happened</label></text>
    <edit variable="DETAILS"></edit>
    <hbox>
      <button ok><label>Send</label></button>
      <button cancel></button>
    </hbox>
  </vbox>
</window>"""

quillet = os.environ.get("QUILLET", "quillet")
# The markup travels in the environment, as it does from a shell script.
run = subprocess.run([quillet, "--program", "DIALOG", "--format=json"],
                     env=dict(os.environ, DIALOG=DIALOG), stdout=subprocess.PIPE, check=False)
if run.returncode != 0 or not run.stdout:
    sys.exit("No answer: the window was closed or the dialog could not be shown.")
answer = json.loads(run.stdout)
if answer["EXIT"] != "OK":
    print("Cancelled: nothing sent.")
    sys.exit(0)

# A byte typed that is no UTF-8 would come back as Python's surrogateescape holds it:
# value.encode("utf-8", "surrogateescape") gives the bytes exactly.
print("Summary:", answer["SUMMARY"])
print("Where:", ", ".join(answer["PARTS"]) or "nowhere in particular")
print("What happened:")
print(answer["DETAILS"])
