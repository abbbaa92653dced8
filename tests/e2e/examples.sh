#!/usr/bin/env bash
# The scripts in examples/ (data/examples.cases), run as a user runs them, so that the
# examples keep working as quillet changes.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_session "$@"

# gallery.sh takes screenshots of the others; it reads no answer.
every_example_tested() {
  local found tested
  found=$(cd "$E2E_SRC/../../examples" && printf '%s\n' *.sh *.py | grep -vx gallery.sh | LC_ALL=C sort)
  tested=$(sed -n -e 's/^script \(.*\..*\)/\1/p' -e 's/^script \(.*\)/\1.sh/p' "$E2E_SRC/data/examples.cases" | LC_ALL=C sort -u)
  same examples "$found" "$tested"
}

# What it finds is in the test log.
examples_pass_check() {
  "$E2E_SRC/../check-examples.sh" "$QUILLET" >&2
}

check "every example but gallery.sh has a case" every_example_tested
check "quillet --check finds nothing wrong in any example's dialog" examples_pass_check
cases examples.cases
done_testing
