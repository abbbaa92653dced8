"""Drives a running quillet dialog the way a person or an assistive tool would.

usage: drive.py PID STEP...

Steps: settext REF TEXT, value REF NUMBER, select REF INDEX (of a combo box), act REF (the
AT-SPI default action), click REF and doubleclick REF (the real pointer, XTEST), focus REF
(X focus for the window, keyboard focus for the widget), type TEXT and key KEYS (real key
events, e.g. ctrl+a; keys apart by spaces are pressed in turn, with nothing between), close (WM_DELETE_WINDOW), lines FILE N (wait until FILE has N lines),
rows REF N (wait until the list REF holds N rows), name REF FILE and size REF FILE (write what
REF shows, with |TEXT when a text labels it, or its WxH on screen, to FILE), level REF FILE (write
the value REF shows, such as a bar's fraction, to FILE), inset SIDES REF FILE (write the gaps in pixels
between REF and the window's edges, SIDES some of l, t, r, b, to FILE), sleep SECONDS, addrow REF (add the row of table
cell REF to the selection), cells REF FILE (write the rows table REF shows, a line each, its
cells joined by |: each cell's name, after [x] or [ ] when it can be ticked, then =VALUE when
it gives one), window N (later steps work window N: 0 the dialog, 1 a window
it opened, such as a chooser), onscreen REF (wait until REF is in view, scrolled to), names FILE (press Ctrl+Tab, which text views do not take,
until the focus comes back, writing each object focused as ROLE|NAME|LABELLED BY, a line each), state REF STATE (wait
until REF is in that AT-SPI state, such as sensitive or showing; with !STATE, until it is
not).

REF is ROLE, ROLE#N (the N-th widget of that role, from 0, in layout order) or ROLE:NAME.
Every wait is bounded; any failure exits with status 1 and a message.

With E2E_DISPLAY=wayland there is no X: click does the widget's action (a row is selected),
focus only gives keyboard focus, type inserts at the caret of the widget given focus, and
close presses the title bar's close button. key, doubleclick and type without a focus step
have no equivalent: the dialog is left untouched and the exit status is 77.
"""

import os
import subprocess
import sys
import time

import pyatspi

# Sanitizer builds run several times slower and say so in E2E_SLOW.
TIMEOUT = 10.0 * float(os.environ.get("E2E_SLOW", "1"))
XDOTOOL = os.environ.get("XDOTOOL", "xdotool")
WAYLAND = os.environ.get("E2E_DISPLAY") == "wayland"


def fail(message):
    sys.exit("drive.py: " + message)


def poll(what, probe, timeout=TIMEOUT):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            found = probe()
        except Exception:  # the application may still be setting up its accessibles
            found = None
        if found:
            return found
        time.sleep(0.05)
    fail("timed out waiting for " + what)


def run(*args):
    subprocess.run(args, check=True, timeout=TIMEOUT)


def find_app(pid):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def walk(acc, cells):
    yield acc
    # A list of 100 000 rows has as many cells, each a round trip over the bus.
    if not cells and acc.getRoleName() in ("table", "tree table"):
        return
    for child in acc:
        if child is not None:
            yield from walk(child, cells)


def title_bar(frame):
    """The bar GTK draws itself under Wayland, before the window's content."""
    return frame[0] if WAYLAND and frame.childCount > 1 else None


def extents(acc):
    ext = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return ext.x, ext.y, ext.width, ext.height


def content(frame):
    """The window without what the desktop adds. Under Wayland the frame also holds GTK's
    title bar and shadow: the window starts below the bar, as wide as it, and its child has
    the window's border above and below."""
    bar = title_bar(frame)
    if not bar:
        return extents(frame)
    x, y, width, height = extents(bar)
    _, child_y, _, child_height = extents(frame[1])
    return x, y + height, width, child_height + 2 * (child_y - y - height)


def resolve(frame, ref):
    role, _, name = ref.partition(":")
    role, _, index = role.partition("#")
    # Widgets are counted without the title bar, as under X.
    children = list(frame)[1:] if title_bar(frame) else list(frame)
    inside = role in ("table cell", "table column header")
    candidates = [frame] + [a for child in children for a in walk(child, inside)]
    matches = [a for a in candidates if a.getRoleName() == role]
    if name:
        matches = [a for a in matches if a.name == name]
    n = int(index or 0)
    return matches[n] if n < len(matches) else None


def centre(acc):
    """The middle of the part of the widget on screen: a row may be wider than its view."""
    left, top, right, bottom = -2**31, -2**31, 2**31, 2**31
    while acc is not None and acc.getRoleName() != "application":
        # A notebook page's accessible has the extents of its tab, not of the page.
        if acc.getRoleName() != "page tab":
            ext = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            left, top = max(left, ext.x), max(top, ext.y)
            right, bottom = min(right, ext.x + ext.width), min(bottom, ext.y + ext.height)
        acc = acc.parent
    if right <= left or bottom <= top:
        return None
    return (left + right) // 2, (top + bottom) // 2


def line_count(path):
    try:
        with open(path, encoding="utf-8") as f:
            return len(f.readlines())
    except FileNotFoundError:
        return 0


def send_wm_delete(window):
    """Sends the ClientMessage a window manager sends when the user closes a window."""
    from Xlib import display, protocol
    x = display.Display()
    target = x.create_resource_object("window", window)
    target.send_event(protocol.event.ClientMessage(
        window=target, client_type=x.intern_atom("WM_PROTOCOLS"),
        data=(32, [x.intern_atom("WM_DELETE_WINDOW"), 0, 0, 0, 0])))
    x.sync()


def act(acc, ref):
    if not acc.queryAction().doAction(0):
        fail("could not act on " + ref)


def select_row(cell):
    # A cell of several parts (an icon and a name) holds them as cells of its own.
    while cell.parent.getRoleName() == "table cell":
        cell = cell.parent
    table = cell.parent.queryTable()
    if not table.addRowSelection(table.getRowAtIndex(cell.getIndexInParent())):
        fail("could not select the row of " + cell.name)


def cell_text(cell):
    text, states = cell.name, cell.getState()
    if states.contains(pyatspi.STATE_CHECKABLE):
        text = ("[x] " if states.contains(pyatspi.STATE_CHECKED) else "[ ] ") + text
    try:
        return text + "=%g" % cell.queryValue().currentValue
    except NotImplementedError:
        return text


def x_window(pid, *name):
    return poll("the X window of pid %d" % pid, lambda: subprocess.run(
        [XDOTOOL, "search", "--onlyvisible", "--pid", str(pid), *name],
        capture_output=True, text=True, timeout=TIMEOUT).stdout.split())[0]


def focus_cycle(frame, window):
    """What takes the focus, from the focused object on, as Ctrl+Tab moves it round the window.
    A combo box's toggle takes it without ever being in the tree: AT-SPI's events tell."""
    from gi.repository import GLib
    events = []
    pyatspi.Registry.registerEventListener(
        lambda e: e.detail1 and events.append(e.source), "object:state-changed:focused")
    seen = [poll("a focused object", lambda: next((a for a in walk(frame, False) if
                                                   a.getState().contains(pyatspi.STATE_FOCUSED))))]

    def moved():
        while GLib.MainContext.default().iteration(False):
            pass
        return events and events[-1] != seen[-1] and events[-1]
    while len(seen) < 100:
        run(XDOTOOL, "key", "ctrl+Tab")
        seen.append(poll("the focus to move on from " + seen[-1].name, moved))
        if seen[-1] == seen[0]:
            return seen[:-1]
    fail("the focus never came back")


def labels(acc):
    return [r.getTarget(i).name for r in acc.getRelationSet()
            if r.getRelationType() == pyatspi.RELATION_LABELLED_BY for i in range(r.getNTargets())]


def main(argv):
    pid = int(argv[1])
    steps = argv[2:]
    arity = {"settext": 2, "value": 2, "select": 2, "act": 1, "click": 1, "doubleclick": 1,
             "focus": 1, "type": 1, "key": 1, "close": 0, "lines": 2, "rows": 2, "name": 2,
             "level": 2, "size": 2, "inset": 3, "sleep": 1, "onscreen": 1, "addrow": 1, "cells": 2,
             "window": 1, "names": 1, "state": 2}
    parsed, i = [], 0
    while i < len(steps):
        op = steps[i]
        if op not in arity or i + 1 + arity[op] > len(steps):
            fail("bad step at %r" % steps[i:])
        parsed.append((op, steps[i + 1:i + 1 + arity[op]]))
        i += 1 + arity[op]
    # Nothing to do: the dialog may already have ended itself (a bar that closes at 100).
    if not parsed:
        return
    ops = [op for op, _ in parsed] + ["focus"]
    x_only = [op for op in ops if op in ("key", "doubleclick", "names")] + [
        op for op in ops[:ops.index("focus")] if op == "type"]
    if WAYLAND and x_only:
        print("drive.py: %s needs X" % x_only[0], file=sys.stderr)
        sys.exit(77)
    window = None if WAYLAND else x_window(pid)
    windows = [window]
    frames = []
    focused = []

    # Only steps that name a widget need the accessibility bus.
    def widget(ref):
        return poll(ref, lambda: resolve(frame() and frames[-1], ref))

    def frame():
        if not frames:
            app = poll("pid %d on the accessibility bus" % pid, lambda: find_app(pid))
            frames.append(poll("the window to show", lambda: next(
                (a for a in app if a.getState().contains(pyatspi.STATE_SHOWING)), None)))
        return frames[0]

    for op, args in parsed:
        if op == "settext":
            if not widget(args[0]).queryEditableText().setTextContents(args[1]):
                fail("could not set the text of " + args[0])
        elif op == "value":
            widget(args[0]).queryValue().currentValue = float(args[1])
        elif op == "select":
            if not widget(args[0]).querySelection().selectChild(int(args[1])):
                fail("could not select item %s of %s" % (args[1], args[0]))
        elif op == "act":
            act(widget(args[0]), args[0])
        elif op == "click" and WAYLAND:
            target = widget(args[0])
            if target.getRoleName() == "table cell":
                select_row(target)
            else:
                act(target, args[0])
        elif op in ("click", "doubleclick"):
            target = widget(args[0])
            x, y = poll("a place on screen for " + args[0], lambda: centre(target))
            # No --sync: it waits for a motion, and there is none when the pointer is there.
            repeat = ["--repeat", "2"] if op == "doubleclick" else []
            run(XDOTOOL, "mousemove", str(x), str(y), "click", *repeat, "1")
        elif op == "focus" and WAYLAND:
            # A window under headless weston is never active: no widget shows as focused.
            focused[:] = [widget(args[0])]
            focused[0].queryComponent().grabFocus()
        elif op == "focus":
            target = widget(args[0])
            # With no window manager, nothing else gives the window X focus.
            run(XDOTOOL, "windowfocus", "--sync", window)
            target.queryComponent().grabFocus()
            poll("focus on " + args[0],
                 lambda: target.getState().contains(pyatspi.STATE_FOCUSED))
        elif op == "type" and WAYLAND:
            target = focused[0]
            if not target.queryEditableText().insertText(
                    target.queryText().caretOffset, args[0], len(args[0].encode())):
                fail("could not type into the widget given focus")
        elif op == "type":
            run(XDOTOOL, "windowfocus", "--sync", window)
            # xdotool types a newline as a key that text views ignore; a person presses Return.
            for n, line in enumerate(args[0].split("\n")):
                if n:
                    run(XDOTOOL, "key", "Return")
                if line:
                    run(XDOTOOL, "type", "--delay", "5", line)
        elif op == "key":
            run(XDOTOOL, "windowfocus", "--sync", window)
            run(XDOTOOL, "key", "--delay", "20", *args[0].split())
        elif op == "close" and WAYLAND:
            # The close button comes last in GTK's title bars.
            bar = title_bar(frame())
            buttons = bar and [a for a in walk(bar, False) if a.getRoleName() == "push button"]
            if not buttons:
                fail("the window has no title bar with buttons")
            act(buttons[-1], "the close button")
        elif op == "close":
            send_wm_delete(int(window))
        elif op == "lines":
            poll("%s lines in %s" % (args[1], args[0]),
                 lambda: line_count(args[0]) >= int(args[1]))
        elif op == "rows":
            # A feed may still be adding rows: wait for them.
            table = widget(args[0]).queryTable()
            poll("%s rows in %s" % (args[1], args[0]), lambda: table.nRows == int(args[1]))
        elif op == "name":
            # The file appears only once the widget is found: a case may wait for it.
            target = widget(args[0])
            line = "|".join([target.name] + labels(target)[:1]) + "\n"
            with open(args[1], "w", encoding="utf-8") as f:
                f.write(line)
        elif op == "level":
            with open(args[1], "w", encoding="utf-8") as f:
                f.write("%.3f\n" % widget(args[0]).queryValue().currentValue)
        elif op == "size":
            target = widget(args[0])
            _, _, width, height = (content(target) if target.getRoleName() == "frame" else
                                   extents(target))
            with open(args[1], "w", encoding="utf-8") as f:
                f.write("%dx%d\n" % (width, height))
        elif op == "inset":
            x, y, width, height = content(frame())
            left, top, w, h = extents(widget(args[1]))
            gaps = {"l": left - x, "t": top - y, "r": x + width - left - w,
                    "b": y + height - top - h}
            with open(args[2], "w", encoding="utf-8") as f:
                f.write(" ".join(str(gaps[side]) for side in args[0]) + "\n")
        elif op == "names":
            run(XDOTOOL, "windowfocus", "--sync", window)
            with open(args[0], "w", encoding="utf-8") as f:
                f.writelines("%s|%s|%s\n" % (a.getRoleName(), a.name, ",".join(labels(a)))
                             for a in focus_cycle(frame(), window))
        elif op == "onscreen":
            target = widget(args[0])
            poll("%s on screen" % args[0], lambda: centre(target))
        elif op == "sleep":
            time.sleep(float(args[0]))
        elif op == "state":
            target, want = widget(args[0]), not args[1].startswith("!")
            state = getattr(pyatspi, "STATE_" + args[1].lstrip("!").upper())
            poll("%s %s" % (args[0], args[1]),
                 lambda: target.getState().contains(state) == want)
        elif op == "cells":
            table = widget(args[0]).queryTable()
            with open(args[1], "w", encoding="utf-8") as f:
                for row in range(table.nRows):
                    f.write("|".join(cell_text(table.getAccessibleAt(row, column))
                                     for column in range(table.nColumns)) + "\n")
        elif op == "addrow":
            select_row(widget(args[0]))
        elif op == "window" and args[0] == "0":
            frames[:] = frames[:1]
            window = windows[0]
        elif op == "window":
            main_frame = frame()
            app = main_frame.parent
            # The newest: one closed a moment ago may still be listed.
            frames[:] = [main_frame, poll("a window opened by the dialog", lambda: [
                a for a in app if a != main_frame and a.getState().contains(
                    pyatspi.STATE_SHOWING)][-1])]
            if not WAYLAND:
                window = x_window(pid, "--name", "^%s$" % frames[1].name)


if __name__ == "__main__":
    main(sys.argv)
