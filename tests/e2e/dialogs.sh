#!/usr/bin/env bash
# How a dialog ends: OK with what every kind of widget holds, read back with eval as a
# calling script does; an exit button; Cancel; Escape; the window closed. The cases are in
# data/dialogs.cases.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_session "$@"
cases dialogs.cases
done_testing
