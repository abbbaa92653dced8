#!/bin/sh
# Installs what building ("build") or testing ("test") quillet needs on Debian 12.
set -eu

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

build_packages="meson ninja-build pkg-config g++ libgtk-3-dev"
# The example dialog runs on a virtual display when there is no real one.
demo_packages="xvfb xauth xdotool imagemagick"
# End-to-end tests drive the dialog with XTEST (xdotool) and AT-SPI (pyatspi), under Xvfb
# and under a headless weston. The fuzz target needs clang and its libFuzzer runtime; the
# answer's test builds GBK, GB18030, Big5, Big5-HKSCS, Shift-JIS, EUC-JP and EUC-KR locales
# from the charmaps in locales (as a dialog's test builds de_DE.UTF-8, for GTK's German) and
# evaluates the answer with busybox sh too. CI renders the
# manual with man (man-db) and checks it with groff (groff-base).
test_packages="$build_packages $demo_packages clang-format clang libclang-rt-14-dev x11-utils dbus dbus-x11 at-spi2-core python3 python3-pyatspi python3-xlib weston man-db groff-base locales busybox"

case "${1:-build}" in
build) packages="$build_packages $demo_packages" ;;
test) packages=$test_packages ;;
*)
  echo "usage: $0 [build|test]" >&2
  exit 2
  ;;
esac

as_root apt-get update -q
# shellcheck disable=SC2086 # the package list is meant to split
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q $packages
