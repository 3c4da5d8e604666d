#!/usr/bin/env bash
# Builds the 64-bit Windows screensaver and runs it under Wine.
#   run-screensaver.sh            full screen, inside a 640x480 Wine virtual desktop, so the
#                                 DirectDraw mode change never touches the real screen
#   run-screensaver.sh --window   no virtual desktop and DirectDraw switched off, as on a system
#                                 without it: the program falls back to its 320x200 GDI window
#   run-screensaver.sh --native   the Linux build, full screen on the X display (no Wine)
#   run-screensaver.sh --web      the web build: serves its page on 127.0.0.1 and prints the
#                                 address; with no X display it runs the page in headless
#                                 Chromium instead (the same screenshots and key press)
# On the current X display it runs until a key is pressed. With no display it runs on a
# private Xvfb, saves screenshots as build/screensaver-N.png, presses a key (or answers the
# error box, should one appear) and reports the exit status the program gave.
set -eu
cd "$(dirname "$0")/.."
window=0
[ "${1:-}" = "--window" ] && window=1
bash scripts/install-deps.sh
if [ "${1:-}" = "--web" ]; then
    cmake --preset web >/dev/null
    cmake --build --preset web --target kelmor
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        exec python3 tests/web/run_page.py serve build/web
    fi
    status=0
    python3 tests/web/run_page.py show build/web build || status=$?
    echo "kelmor exited with status $status"
    exit "$status"
fi
if [ "${1:-}" = "--native" ]; then
    cmake --preset native >/dev/null
    cmake --build --preset native --target kelmor pictures
    source scripts/lib.sh
    build=build/native # the program finds its pictures beside itself
    status=0
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        "$build/kelmor" || status=$?
    else
        unset DISPLAY
        ptc_start_xvfb 24 1024x768
        trap 'kill "$PTC_XVFB_PID" 2>/dev/null' EXIT
        "$build/kelmor" &
        pid=$!
        sleep 2
        for n in 1 2 3; do
            ptc_screenshot "build/screensaver-$n.png" && echo "screenshot: build/screensaver-$n.png"
            sleep 1
        done
        ptc_press_key "Kelmor screensaver" && echo "pressed a key" || echo "no window to press a key in"
        ptc_wait_exit "$pid" 10 || status=$?
        if [ "$status" -eq 124 ]; then
            echo "still running 10 s after the key: ending it"
            kill "$pid" || true
        fi
    fi
    echo "kelmor exited with status $status"
    exit "$status"
fi
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 --target kelmor wintool pictures
source scripts/lib.sh
build=build/mingw64
# Prefixes of this script's own, so it never shares a Wine session with a test run; a second
# start waits for the first.
export WINEPREFIX=$ptc_repo/build/wineprefix-run
if [ "$window" -eq 1 ]; then
    export PTC_WINE_DESKTOP=0
    export WINEPREFIX=$ptc_repo/build/wineprefix-run-plain
    export WINEDLLOVERRIDES="mscoree,mshtml=;ddraw=d"
fi
private=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    private=1
    ptc_private_session 120
else
    trap ptc_end_session EXIT
    ptc_claim_session 120
    ptc_wine_env
fi
# The program looks for its pictures in the Windows directory first.
cp "$build/kelmor1.tga" "$build/kelmor2.tga" "$WINEPREFIX/drive_c/windows/"

status=0
if [ "$private" -eq 0 ]; then
    wine "$build/kelmor.exe" || status=$?
else
    wine "$build/kelmor.exe" &
    pid=$!
    sleep 3
    for n in 1 2 3; do
        ptc_screenshot "build/screensaver-$n.png" && echo "screenshot: build/screensaver-$n.png"
        sleep 1
    done
    if box=$(ptc_dismiss_box "$build/wintool.exe" "ptc error" 500 2>/dev/null); then
        echo "ptc error box: $(printf '%s\n' "$box" | head -n 1)"
    elif ptc_press_key "Kelmor screensaver" "Wine desktop"; then
        echo "pressed a key"
    else
        echo "no window to press a key in"
    fi
    ptc_wait_exit "$pid" 10 || status=$?
    if [ "$status" -eq 124 ]; then
        echo "still running 10 s after the key: closing it"
        [ "$(ptc_wine_text "$build/wintool.exe" close "Kelmor screensaver" 500)" = closed ] ||
            kill "$pid" || true
        status=0
        ptc_wait_exit "$pid" 10 || status=$?
    fi
fi
echo "kelmor exited with status $status"
exit "$status"
