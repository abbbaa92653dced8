#!/usr/bin/env bash
# What assistive tools and the keyboard reach: every field's name and the order Tab visits
# them in, the calendar by keys, a default button by Enter, a window at the size asked
# (data/access.cases).
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_session "$@"
cases access.cases
done_testing
