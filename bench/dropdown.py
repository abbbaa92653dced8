# Starts a program whose window has a combo box first in the focus chain and prints, on one
# line: map_ms (exec to the window mapped), drop_ms (Alt+Down to the drop-down mapped) and
# maxrss_kb (the program's peak memory once it is ended). A wait that times out prints
# nothing for that figure. Needs an X display without a window manager (Xvfb) and
# python3-xlib.
#
# Usage: dropdown.py TIMEOUT_S COMMAND [ARG...]
import os
import signal
import subprocess
import sys
import time

from Xlib import X, XK, display
from Xlib.ext import xtest

timeout = float(sys.argv[1])
d = display.Display()
root = d.screen().root
root.change_attributes(event_mask=X.SubstructureNotifyMask)
d.sync()


def next_map(since):
    while time.monotonic() - since < timeout:
        while d.pending_events():
            event = d.next_event()
            if event.type == X.MapNotify:
                return event.window, (time.monotonic() - since) * 1000
        time.sleep(0.001)
    return None, None


def key(name, down):
    code = d.keysym_to_keycode(XK.string_to_keysym(name))
    xtest.fake_input(d, X.KeyPress if down else X.KeyRelease, code)


start = time.monotonic()
child = subprocess.Popen(sys.argv[2:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
figures = []
window, map_ms = next_map(start)
if window is not None:
    figures.append("map_ms=%.1f" % map_ms)
    time.sleep(0.5)  # its first frames
    while d.pending_events():
        d.next_event()
    window.set_input_focus(X.RevertToParent, X.CurrentTime)
    d.sync()
    pressed = time.monotonic()
    key("Alt_L", True), key("Down", True), key("Down", False), key("Alt_L", False)
    d.sync()
    popup, drop_ms = next_map(pressed)
    if popup is not None:
        figures.append("drop_ms=%.1f" % drop_ms)
        time.sleep(0.25)  # so that the peak includes the drop-down drawn
child.send_signal(signal.SIGTERM)
try:
    _, _, usage = os.wait4(child.pid, 0)
    figures.append("maxrss_kb=%d" % usage.ru_maxrss)
except ChildProcessError:
    pass
print(" ".join(figures))
