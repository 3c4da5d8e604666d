#!/usr/bin/env bash
# Builds the 64-bit Windows screensaver and runs it under Wine on the current X display.
# With no display it runs on a private Xvfb for a few seconds, saves a screenshot to
# build/screensaver.png, answers any error box and ends the program.
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 --target kelmor wintool pictures
source tests/wine/lib.sh
private=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then private=1; unset DISPLAY; fi
ptc_wine_env
# The program looks for its pictures in the Windows directory first.
cp build/mingw64/kelmor1.tga build/mingw64/kelmor2.tga "$WINEPREFIX/drive_c/windows/"

status=0
if [ "$private" -eq 0 ]; then
    wine build/mingw64/kelmor.exe || status=$?
else
    wine build/mingw64/kelmor.exe &
    pid=$!
    sleep 5
    ptc_screenshot build/screensaver.png && echo "screenshot: build/screensaver.png"
    if box=$(wine build/mingw64/wintool.exe dismiss "ptc error" 500 | tr -d '\r'); then
        echo "ptc error box: $(printf '%s\n' "$box" | head -n 1)"
    else
        wine build/mingw64/wintool.exe close "Kelmor screensaver" 500 || true
    fi
    wait "$pid" || status=$?
    wineserver -k 2>/dev/null || true
    [ -n "${PTC_XVFB_PID:-}" ] && kill "$PTC_XVFB_PID" 2>/dev/null || true
fi
echo "kelmor exited with status $status"
exit "$status"
