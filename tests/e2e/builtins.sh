#!/usr/bin/env bash
# Built-in commands (refresh:, clear:, enable:, disable:, show:, hide:, exit:) and what
# <input> gives each kind. The cases are in data/builtins.cases.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_session "$@"
cases builtins.cases
done_testing
