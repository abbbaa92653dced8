#!/usr/bin/env bash
# Choosers, a calendar, colour and font buttons, a list with columns: their starting values
# and values changed by the user, read back with eval (data/pickers.cases).
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_session "$@"
cases pickers.cases
done_testing
