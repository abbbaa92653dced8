#!/usr/bin/env python3
"""Random dialogs for checking that a change of the code keeps every layout as it was.

usage: random-programs.py [--old] SEED COUNT > programs.txt
       tests/fuzz/same-layouts.sh [-o] OLD_BUILD NEW_BUILD [SEED COUNT]

Prints COUNT programs in the form of tests/data/cases.txt ("== transform random/N" and the
program below it), made from every element and attribute the markup knows, well nested or
not, with labels, items, defaults, actions, inputs and feeds. The same SEED gives the same
programs. `test-transform programs.txt` prints each one's layout, actions and extras; two
builds that print the same for many seeds treat the markup the same. With --old, only the
markup a program written before the latest additions could hold: none of NEW, no names on
boxes, and a password entry's visibility spelt right (a wrong one now hides the text).
"""

import random
import sys

CONTAINERS = ["window", "vbox", "hbox", "notebook", "frame", "timer", "expander", "paned"]
LEAVES = ["text", "entry", "edit", "checkbox", "radiobutton", "button", "comboboxtext",
          "combobox", "spinbutton", "slider", "progressbar", "tree", "list", "calendar",
          "colorbutton", "fontbutton", "filechooser", "image", "separator"]
WORDS = ["A", "B", "NAME", "ok", "cancel", "my_timer", "heartbeat", "btn_ok", "LIST", "x-y",
         "PATH", "EXIT", "auto_id_1", "LANG", "V1", "V2", "V3"]
TEXTS = ["", "Hello", "a & b", "&amp;", "<b>bold</b>", "x|y|z", "  padded  ", "é€3", "\"q\"",
         "_File", "1.5", "-3", "true", "false", "2024-02-29", "#12abef", "Serif 12", "~/x.txt",
         "red\nblue", "100", "50"]
ATTRIBUTES = {
    "*": ["tooltip", "sensitive", "visible"],
    "window": ["title", "width", "height", "position", "icon", "timeout", "keep-above",
               "mnemonics", "timeout-bar"],
    "notebook": ["tabs"],
    "frame": ["label"],
    "text": ["markup", "selectable"],
    "entry": ["visibility", "placeholder"],
    "button": ["exit", "default"],
    "comboboxtext": ["editable"],
    "combobox": ["editable"],
    "spinbutton": ["min", "max", "step", "digits"],
    "slider": ["min", "max", "step", "digits"],
    "progressbar": ["auto-close"],
    "list": ["columns", "selection", "column-types", "editable", "key", "nested"],
    "tree": ["columns", "selection", "column-types", "editable", "key", "nested"],
    "expander": ["label", "expanded"],
    "paned": ["orientation", "position"],
    "filechooser": ["action", "selection", "filter"],
    "image": ["icon", "file", "size"],
}
# What the markup gained last: elements, attributes (on any element under "*") and events.
NEW = {"elements": ["expander", "paned"],
       "*": ["visible", "selectable", "timeout-bar", "column-types", "editable", "key", "nested"],
       "on": [' on="checked"', ' on="unchecked"']}
BOXES = ["vbox", "hbox", "frame", "expander", "paned"]
VALUES = ["true", "false", "True", "hidden", "0", "3", "-1", "10.5", "abc", "multiple",
          "save", "folder", "center", "mouse", "A|B|C", "Name|Size", "*.txt|Images *.png *.jpg",
          "dialog-information", "64", "99999", "", "x\"y", "a&b", "<c>", "check|text|icon",
          "first", "2|3", "vertical"]
COMMANDS = ["echo one", "printf 'a|b\\nc|d\\n'", "echo $QUILLET_TEST_WORD", "true",
            "printf '1\\n2\\n3\\n'", "echo '<b>x</b> & y'", "echo 50"]
ACTIONS = ["echo hi", "refresh:A", "clear:B", "show:NAME", "hide:LIST", "enable:A",
           "disable:B", "exit:DONE", "echo \"$A\" > out"]


class Program:
    def __init__(self, rng, old):
        self.rng = rng
        self.old = old
        self.out = []

    def pick(self, items):
        return self.rng.choice(items)

    def chance(self, p):
        return self.rng.random() < p

    def attributes(self, element):
        parts = []
        if self.chance(0.6) and not (self.old and element in BOXES):
            parts.append('%s="%s"' % (self.pick(["variable", "id"]), self.pick(WORDS)))
        for name in ATTRIBUTES.get(element, []) + ATTRIBUTES["*"]:
            if self.old and name in NEW["*"]:
                continue
            if self.chance(0.25):
                values = ["true", "false"] if self.old and name == "visibility" else VALUES
                parts.append('%s="%s"' % (name, self.pick(values)))
        if element == "button" and self.chance(0.3):
            parts.append(self.pick(["ok", "cancel"]))
        self.rng.shuffle(parts)
        return (" " + " ".join(parts)) if parts else ""

    def content(self, element):
        for _ in range(self.rng.randint(0, 3)):
            kind = self.rng.randint(0, 7)
            if kind == 0:
                self.out.append("<label>%s</label>" % self.pick(TEXTS))
            elif kind == 1:
                for _ in range(self.rng.randint(1, 4)):
                    self.out.append("<item>%s</item>" % self.pick(TEXTS))
            elif kind == 2:
                self.out.append("<default>%s</default>" % self.pick(TEXTS))
            elif kind == 3:
                on = self.pick(["", "", ' on="change"', ' on="activate"'] +
                               ([] if self.old else NEW["on"]))
                self.out.append("<action%s>%s</action>" % (on, self.pick(ACTIONS)))
            elif kind == 4:
                self.out.append("<input>%s</input>" % self.pick(COMMANDS))
            elif kind == 5:
                self.out.append("<feed>%s</feed>" % self.pick(COMMANDS))
            elif kind == 6 and self.chance(0.3):
                self.out.append("<!-- %s -->" % self.pick(TEXTS))
            else:
                self.out.append(self.pick(["&", " & ", "text between", "<unknown/>"]))

    def element(self, depth):
        if depth < 4 and self.chance(0.45):
            name = self.pick([c for c in CONTAINERS[1:]
                              if not (self.old and c in NEW["elements"])])
        else:
            name = self.pick(LEAVES)
        legacy = name == "button" and self.chance(0.15)
        if legacy:
            self.out.append("<button %s>" % self.pick(["ok", "cancel"]))
        elif name == "frame" and self.chance(0.2):
            self.out.append("<frame %s>" % self.pick(["Options", "Big Title", ""]))
        else:
            close = self.chance(0.1)
            self.out.append("<%s%s%s>" % (name, self.attributes(name), "/" if close else ""))
            if close:
                return
        self.content(name)
        if name in CONTAINERS:
            for _ in range(self.rng.randint(0, 4)):
                self.element(depth + 1)
        if not self.chance(0.05):  # now and then an element is never closed
            self.out.append("</%s>" % name)

    def make(self):
        self.out.append("<window%s>" % self.attributes("window"))
        for _ in range(self.rng.randint(1, 4)):
            self.element(1)
        if self.chance(0.9):
            self.out.append("</window>")
        separator = self.pick(["", "\n", " "])
        return separator.join(self.out)


def main():
    args = sys.argv[1:]
    old = args[:1] == ["--old"]
    seed, count = int(args[old]), int(args[old + 1])
    rng = random.Random(seed)
    for n in range(count):
        print("== transform random/%d" % n)
        print(Program(rng, old).make())


if __name__ == "__main__":
    main()
