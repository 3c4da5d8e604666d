#!/usr/bin/env bash
# The long stress runs of the 64-bit Windows build, under Wine on a private Xvfb, too long for
# the default test run:
#   displays  200 full-screen displays across 320x200, 640x400 and 640x480 at 8, 16 and 32
#             bits, a palette on each 8-bit one, and 100 windows between them; each bounded,
#             nothing left behind, every display change made on the window's thread
#   program   the screensaver itself, started full screen, its picture awaited, then ended by
#             a key press and by WM_CLOSE in turn, RUNS times (100 by default); every run must
#             end with status 0 and leave the desktop in its own 640x480 mode
# stress-windows.sh [displays | program [RUNS]]   (both when no argument is given)
set -eu
cd "$(dirname "$0")/.."
what=${1:-all}
runs=${2:-100}
bash scripts/install-deps.sh
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64
source scripts/lib.sh
# The session is this script's own: a test run in the same checkout waits for it, and it is
# never ended while another script owns it.
ptc_private_session 3600

status=0
if [ "$what" = all ] || [ "$what" = displays ]; then
    echo "== 200 full-screen displays and 100 windows"
    # Every cycle has a limit of its own inside the test; this one only guards the whole.
    timeout 1800 wine build/mingw64/backend_tests.exe --gtest_also_run_disabled_tests \
        --gtest_filter='DisplayCycles.DISABLED_*' 2>&1 | grep -v '^[0-9a-f]*:fixme' ||
        status=1
fi
if [ "$what" = all ] || [ "$what" = program ]; then
    echo "== the screensaver full screen, $runs times"
    bash tests/wine/repeat_fullscreen.sh "$runs" build/mingw64/kelmor.exe build/mingw64 \
        build/mingw64/stress both || status=1
fi
[ "$status" -eq 0 ] && echo "stress runs passed" || echo "stress runs failed"
exit "$status"
