#!/usr/bin/env bash
# Runs GDI tests that need a desktop of another depth: on a private X server of that depth, in
# a prefix of its own without a virtual desktop (Wine then reports the X server's depth).
# Usage: desktop_depth.sh DEPTH backend_tests.exe FILTER...  (each filter a separate run, since
# Wine hands out an 8-bit server's colour cells at a process's first realisation)
set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
depth=$1
tests=$2
shift 2

ptc_start_xvfb "$depth" 640x480 || exit 1
export WINEPREFIX=$ptc_repo/build/wineprefix-depth$depth
export PTC_WINE_DESKTOP=0
trap ptc_end_session EXIT
ptc_prepare_prefix || exit 1

status=0
for filter in "$@"; do
    out=$(wine "$tests" --gtest_filter="$filter" 2>&1)
    echo "$out" | grep -v '^fixme'
    echo "$out" | grep -q '^\[  PASSED  \] 1 test\.' || status=1
    echo "$out" | grep -q 'SKIPPED' && status=1 # the desktop did not have that depth
done
exit "$status"
