# Starts a program, presses KEY in its window once it has shown, and prints end_ms: the time
# from the key going down to the program's end (the key stays down until then, as a person's
# finger does for a while). A wait that times out prints nothing. Needs an X display without
# a window manager (Xvfb) and python3-xlib.
#
# Usage: key-end.py TIMEOUT_S KEY COMMAND [ARG...]
# e.g. key-end.py 10 Return build/quillet --program '<window><vbox><entry></entry>
#      <hbox><button cancel></button><button ok></button></hbox></vbox></window>'
import os
import subprocess
import sys
import time

from Xlib import X, XK, display
from Xlib.ext import xtest

timeout, keysym = float(sys.argv[1]), XK.string_to_keysym(sys.argv[2])
d = display.Display()
root = d.screen().root
root.change_attributes(event_mask=X.SubstructureNotifyMask)
d.sync()
start = time.monotonic()
child = subprocess.Popen(sys.argv[3:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
window = None
while window is None and time.monotonic() - start < timeout:
    while d.pending_events():
        event = d.next_event()
        if event.type == X.MapNotify:
            window = event.window
    time.sleep(0.001)
if window is not None:
    time.sleep(0.5)  # its first frames
    window.set_input_focus(X.RevertToParent, X.CurrentTime)
    code = d.keysym_to_keycode(keysym)
    xtest.fake_input(d, X.KeyPress, code)
    d.sync()
    pressed = time.monotonic()
    while child.poll() is None and time.monotonic() - pressed < timeout:
        time.sleep(0.001)
    ended = time.monotonic()
    xtest.fake_input(d, X.KeyRelease, code)
    d.sync()
    if child.returncode is not None:
        print("end_ms=%.1f" % ((ended - pressed) * 1000))
if child.poll() is None:
    child.kill()
    child.wait()
