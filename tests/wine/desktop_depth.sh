#!/usr/bin/env bash
# Runs GDI tests that need a desktop of another depth: on a private X server of that depth, in
# a prefix of its own without a virtual desktop (Wine then reports the X server's depth).
# Usage: desktop_depth.sh DEPTH backend_tests.exe FILTER...  (each filter a separate run, since
# Wine hands out an 8-bit server's colour cells at a process's first realisation)
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
depth=$1
tests=$2
shift 2

export WINEPREFIX=$ptc_repo/build/wineprefix-depth$depth
export PTC_WINE_DESKTOP=0
trap ptc_end_session EXIT
ptc_start_xvfb "$depth" 640x480 || exit 1
ptc_claim_session 600 || exit 1
ptc_prepare_prefix || exit 1

# Each run passes on the tests' own word: status 0 and gtest's line for exactly one test passed.
status=0
for filter in "$@"; do
    run=0
    out=$(wine "$tests" --gtest_filter="$filter" 2>&1) || run=$?
    echo "$out"
    if [ "$run" -ne 0 ]; then
        echo "FAIL: $filter: wine ended with exit status $run"
        status=1
    elif ! echo "$out" | grep -q '^\[  PASSED  \] 1 test\.'; then
        echo "FAIL: $filter: exit status 0, but no gtest line saying one test passed"
        status=1
    fi
    echo "$out" | grep -q 'SKIPPED' && status=1 # the desktop did not have that depth
done
exit "$status"
