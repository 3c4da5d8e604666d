#!/usr/bin/env bash
# Where DirectDraw cannot serve, the program falls back to a 320x200 GDI window titled
# "Kelmor screensaver"; closing the window ends it with status 0.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
program=$1
wintool=$2
ptc_wine_env || exit 1

wine "$program" &
pid=$!
found=$(wine "$wintool" find "Kelmor screensaver" 30000 | tr -d '\r')
echo "window: $found"
wine "$wintool" close "Kelmor screensaver" 5000 >/dev/null
wait "$pid"
status=$?
[ "$found" = "PTC_GDI_WINDOWED 320x200" ] || { echo "expected a 320x200 GDI window"; exit 1; }
[ "$status" -eq 0 ] || { echo "exit status $status, expected 0"; exit 1; }
echo "exit status 0"
