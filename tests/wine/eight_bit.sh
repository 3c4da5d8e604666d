#!/usr/bin/env bash
# Runs the GDI tests that need an 8-bit desktop: on a private 8-bit X server, in a prefix of its
# own without a virtual desktop (Wine then reports the X server's depth). Usage: unit_tests.exe
set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
tests=$1

display=""
for n in $(seq 140 180); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 640x480x8 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    for i in $(seq 50); do
        DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && { display=":$n"; break; }
        sleep 0.1
    done
    [ -n "$display" ] && break
    kill "$xvfb" 2>/dev/null
done
[ -n "$display" ] || { echo "could not start an 8-bit Xvfb" >&2; exit 1; }
export DISPLAY=$display
export WINEPREFIX=$ptc_repo/build/wineprefix8
export PTC_WINE_DESKTOP=0
cleanup() {
    wineserver -k 2>/dev/null
    kill "$xvfb" 2>/dev/null
}
trap cleanup EXIT
ptc_prepare_prefix || exit 1

# Separate runs: Wine hands out the X colour cells at the first realisation in a process.
status=0
for filter in 'GdiEightBitDesktop.*' 'GdiBackEnd.ConcurrentRepaintsAndPaletteMessages'; do
    out=$(wine "$tests" --gtest_filter="$filter" 2>&1)
    echo "$out" | grep -v '^fixme'
    echo "$out" | grep -q '^\[  PASSED  \] 1 test' || status=1
    echo "$out" | grep -q 'SKIPPED' && status=1 # the desktop was not 8-bit after all
done
exit "$status"
