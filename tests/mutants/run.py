#!/usr/bin/env python3
"""Plants each fault of faults.tsv in a private copy of the tree and reports the first test
that fails on it: a check of the tests' power, run by hand (never by meson test).

usage: nice -n 10 tests/mutants/run.py [--hints TABLE] [ID...]

faults.tsv: ID, file, exact text, replacement, and what the fault does: the reason it must be
caught (tab-separated, ⏎ for a newline; the text must occur exactly once). Every fault runs,
or only the IDs given. A fault is caught when some unit or end-to-end test fails with it
planted; the table names the first. A fault caught once must stay caught as the tests change:
a NOT CAUGHT is a test to mend, not a fault to drop. Only a fault that the system itself
undoes (GTK clamping what the code no longer clamps, say) is replaced, by one in the same code
that changes what a user sees. When code moves, its faults' file and text follow it.

The copy lives in $MUTANT_DIR (/tmp/quillet-mutants), its build directory reused with
incremental rebuilds. To stay affordable on a small machine each fault runs the unit tests one
at a time, stopping at the first that fails, then the end-to-end scripts the same way (the
Wayland repeats are left out); with --hints, a table this script printed before, the test that
caught each fault then is tried first (run.py > table; run.py --hints table). A fault whose
text is not found, or that does not build, is reported as such. The table goes to stdout, a
log to $MUTANT_DIR/log.
"""
import filecmp
import os
import shutil
import subprocess
import sys

if sys.argv[1:2] in (["-h"], ["--help"]):
    print(__doc__, end="")
    sys.exit(0)

SRC = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WORK = os.environ.get("MUTANT_DIR", "/tmp/quillet-mutants")
TREE, BUILD = os.path.join(WORK, "tree"), os.path.join(WORK, "build")
os.makedirs(WORK, exist_ok=True)
LOG = open(os.path.join(WORK, "log"), "a")


def sh(*args, cwd=None, timeout=None):
    return subprocess.run(args, cwd=cwd, stdout=LOG, stderr=LOG, timeout=timeout).returncode == 0


def copy_tree():
    files = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=SRC,
                           capture_output=True, check=True).stdout.decode().split("\0")
    for name in filter(None, files):
        src, dst = os.path.join(SRC, name), os.path.join(TREE, name)
        # Changed files only, with a new time: a build left by a fault is rebuilt.
        if os.path.isfile(src) and not (os.path.isfile(dst) and filecmp.cmp(src, dst, False)):
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            shutil.copy(src, dst)


def first_failing(tests):
    for suite, name in tests:
        if not sh("meson", "test", "-C", BUILD, "--no-rebuild", "--suite", suite, name):
            return name
    return None


def main(args):
    hints = {}
    if args[:1] == ["--hints"]:
        with open(args[1], encoding="utf-8") as f:
            hints = {c[1].strip(): c[3].strip() for c in (l.split("|") for l in f) if len(c) > 4}
        args = args[2:]
    wanted = set(args)
    copy_tree()
    if not os.path.isdir(BUILD) and not sh("meson", "setup", BUILD, TREE):
        sys.exit("run.py: meson setup failed; see " + LOG.name)
    listed = subprocess.run(["meson", "test", "-C", BUILD, "--list"], capture_output=True,
                            text=True, check=True).stdout.split("\n")
    tests = [tuple(p.strip() for p in t.split(":", 1)[1].split("/")) for t in listed if t.startswith("quillet:")]
    tests = [t for t in tests if t[0] == "unit"] + [t for t in tests if t[0] == "e2e"]
    if not sh("meson", "compile", "-C", BUILD) or first_failing(tests):
        sys.exit("run.py: the tree without faults fails; see " + LOG.name)
    with open(os.path.join(os.path.dirname(__file__), "faults.tsv"), encoding="utf-8") as f:
        faults = [line.rstrip("\n").replace("⏎", "\n").split("\t")
                  for line in f if line.strip() and line[0] != "#"]
    print("| fault | what | caught by |\n|---|---|---|", flush=True)
    for fid, path, find, replace, what in faults:
        if wanted and fid not in wanted:
            continue
        target = os.path.join(TREE, path)
        with open(target, encoding="utf-8") as f:
            original = f.read()
        found = original.count(find)
        if found != 1:
            verdict = "TEXT NOT FOUND" if found == 0 else "TEXT FOUND %d TIMES" % found
        else:
            with open(target, "w", encoding="utf-8") as f:
                f.write(original.replace(find, replace))
            print("== %s: %s" % (fid, what), file=LOG, flush=True)
            verdict = "DOES NOT BUILD" if not sh("meson", "compile", "-C", BUILD) else (
                first_failing(sorted(tests, key=lambda t: t[1] != hints.get(fid)))
                or "NOT CAUGHT")
            with open(target, "w", encoding="utf-8") as f:
                f.write(original)
        print("| %s | %s | %s |" % (fid, what, verdict), flush=True)


if __name__ == "__main__":
    main(sys.argv[1:])
