#!/usr/bin/env bash
# Builds all four configurations and runs every test: native, native with sanitizers, and the
# 64-bit Windows build under Wine on a private Xvfb. The 32-bit Windows build is only built,
# since this machine cannot run 32-bit programs.
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

for preset in native native-asan mingw64 mingw32; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done

source tests/wine/lib.sh
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "${PTC_XVFB_PID:-}" ] && kill "$PTC_XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
# Always a private display, so a test never draws on the user's screen.
unset DISPLAY
ptc_wine_env

status=0
for preset in native native-asan mingw64; do
    echo "== tests: $preset"
    ctest --preset "$preset" || status=1
done
[ "$status" -eq 0 ] && echo "all test runs passed" || echo "some tests failed"
exit "$status"
