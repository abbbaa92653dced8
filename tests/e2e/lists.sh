#!/usr/bin/env bash
# Lists that are worked: check and radio boxes ticked, cells edited and read back exactly,
# rows a feed updates in place, nested rows, sorting, and what assistive tools see of them.
# The cases are in data/lists.cases.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_session "$@"
cases lists.cases
done_testing
