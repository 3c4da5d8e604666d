#!/usr/bin/env bash
# Runs only the DirectDraw back end's mode-changing tests under Wine on a private Xvfb, each
# stopped after its timeout, for work on that back end.
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64
source tests/wine/lib.sh
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "${PTC_XVFB_PID:-}" ] && kill "$PTC_XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
unset DISPLAY
ptc_wine_env
ctest --preset mingw64 -R '^(DirectXTest|DisplayCycles|WindowThreadHandOver)'
