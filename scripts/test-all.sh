#!/usr/bin/env bash
# Builds all five configurations and runs every test: native, native with sanitizers, the
# 64-bit Windows build under Wine on a private Xvfb, and the web build in Node and headless
# Chromium. The 32-bit Windows build is only built, since this machine cannot run 32-bit programs.
#   test-all.sh                        everything
#   test-all.sh PRESET [CTEST ARGS]    one preset only, e.g. mingw64 -R '^DirectXTest[.]'
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
source scripts/lib.sh

builds=(native native-asan mingw64 mingw32 web)
runs=(native native-asan mingw64 web)
if [ $# -gt 0 ]; then
    builds=("$1")
    runs=("$1")
    [ "$1" = mingw32 ] && runs=() # built and linked only
    shift
fi
for preset in "${builds[@]}"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done

# Always a private display, so a test never draws on the user's screen; a Wine session of this
# run's own only when Windows tests run.
unset DISPLAY
trap ptc_end_session EXIT
ptc_start_xvfb
for preset in "${runs[@]+"${runs[@]}"}"; do
    case "$preset" in
    mingw*)
        # A second run in this checkout waits for the first (about a quarter of an hour).
        ptc_claim_session 3600
        ptc_wine_env
        break
        ;;
    esac
done

status=0
for preset in "${runs[@]+"${runs[@]}"}"; do
    echo "== tests: $preset"
    ctest --preset "$preset" "$@" || status=1
done
[ "$status" -eq 0 ] && echo "all test runs passed" || echo "some tests failed"
exit "$status"
