#!/usr/bin/env bash
# Builds the 64-bit Windows screensaver and runs it under Wine.
#   run-screensaver.sh            full screen, inside a 640x480 Wine virtual desktop, so the
#                                 DirectDraw mode change never touches the real screen
#   run-screensaver.sh --window   no virtual desktop and DirectDraw switched off, as on a system
#                                 without it: the program falls back to its 320x200 GDI window
# On the current X display it runs until a key is pressed. With no display it runs on a
# private Xvfb, saves screenshots as build/screensaver-N.png, presses a key, and reports the
# exit status (answering an error box, should one appear).
set -eu
cd "$(dirname "$0")/.."
window=0
[ "${1:-}" = "--window" ] && window=1
bash scripts/install-deps.sh
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 --target kelmor wintool pictures
source tests/wine/lib.sh
if [ "$window" -eq 1 ]; then
    export PTC_WINE_DESKTOP=0
    export WINEDLLOVERRIDES="mscoree,mshtml=;ddraw=d"
fi
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
    sleep 3
    for n in 1 2 3; do
        ptc_screenshot "build/screensaver-$n.png" && echo "screenshot: build/screensaver-$n.png"
        sleep 1
    done
    # Empty when there is no box: the status of a pipeline is its last command's.
    box=$(wine build/mingw64/wintool.exe dismiss "ptc error" 500 2>/dev/null | tr -d '\r')
    if [ -n "$box" ]; then
        echo "ptc error box: $(printf '%s\n' "$box" | head -n 1)"
    else
        # The program's own X window takes the key, inside the virtual desktop's too.
        id=$(xdotool search --name "Kelmor screensaver" 2>/dev/null | head -n 1 || true)
        [ -n "$id" ] || id=$(xdotool search --name "Wine desktop" 2>/dev/null | head -n 1 || true)
        if [ -n "$id" ]; then
            xdotool windowfocus --sync "$id" key space 2>/dev/null || xdotool key space || true
            echo "pressed a key"
        fi
    fi
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
        echo "still running after the key: closing it"
        wine build/mingw64/wintool.exe close "Kelmor screensaver" 500 || kill "$pid" || true
    fi
    wait "$pid" || status=$?
    wineserver -k 2>/dev/null || true
    [ -n "${PTC_XVFB_PID:-}" ] && kill "$PTC_XVFB_PID" 2>/dev/null || true
fi
echo "kelmor exited with status $status"
exit "$status"
