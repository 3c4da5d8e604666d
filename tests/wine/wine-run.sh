#!/usr/bin/env bash
# Runs one of the GoogleTest programs under Wine for CTest, passing only on the program's own
# word (see gtest_run.sh). The display comes from the environment (the test scripts start a
# private Xvfb); the prefix is made here when missing.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
ptc_prepare_prefix || exit 1
wineserver -p 2>/dev/null || true
exec bash "$ptc_repo/tests/gtest_run.sh" wine "$@"
