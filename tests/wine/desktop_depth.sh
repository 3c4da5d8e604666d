#!/usr/bin/env bash
# Runs GDI tests that need a desktop of another depth: on a private X server of that depth, in
# a prefix of its own without a virtual desktop (Wine then reports the X server's depth).
# Usage: desktop_depth.sh DEPTH unit_tests.exe FILTER...  (each filter a separate run, since
# Wine hands out an 8-bit server's colour cells at a process's first realisation)
set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
depth=$1
tests=$2
shift 2

display=""
for n in $(seq 140 180); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 "640x480x$depth" -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    for i in $(seq 50); do
        DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && { display=":$n"; break; }
        sleep 0.1
    done
    [ -n "$display" ] && break
    kill "$xvfb" 2>/dev/null
done
[ -n "$display" ] || { echo "could not start a $depth-bit Xvfb" >&2; exit 1; }
export DISPLAY=$display
export WINEPREFIX=$ptc_repo/build/wineprefix-depth$depth
export PTC_WINE_DESKTOP=0
cleanup() {
    wineserver -k 2>/dev/null
    kill "$xvfb" 2>/dev/null
}
trap cleanup EXIT
ptc_prepare_prefix || exit 1

status=0
for filter in "$@"; do
    out=$(wine "$tests" --gtest_filter="$filter" 2>&1)
    echo "$out" | grep -v '^fixme'
    echo "$out" | grep -q '^\[  PASSED  \] 1 test\.' || status=1
    echo "$out" | grep -q 'SKIPPED' && status=1 # the desktop did not have that depth
done
exit "$status"
