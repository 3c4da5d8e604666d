#!/usr/bin/env bash
# The Windows library installed into a fresh prefix, the gradient example cross-built against it
# alone with find_package(ptc), and run under Wine:
#   examples_windows.sh BUILD_DIR OUTPUT_DIR
# It must draw, end on a key with status 0 and say so itself.
set -u
build=$(realpath "$1")
out=$2
mkdir -p "$out"
out=$(realpath "$out")
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

work=$(mktemp -d)
end_case() {
    # A program left running would stay full screen in a desktop later tests share.
    if [ -n "${pid:-}" ]; then
        timeout 10 wine taskkill /f /im gradient.exe >/dev/null 2>&1
        kill "$pid" 2>/dev/null
    fi
    [ -n "${PTC_XVFB_PID:-}" ] && ptc_end_session
    rm -rf "$work"
}
trap end_case EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$out/install.log" 2>&1 ||
    fail "install: $(tail -n 5 "$out/install.log")"
# A static runtime, so the program needs no DLL from the cross compiler under Wine.
log=$out/gradient-build.log
cmake -S "$ptc_repo/examples/gradient" -B "$work/gradient" -G Ninja -D CMAKE_BUILD_TYPE=Release \
    -D CMAKE_TOOLCHAIN_FILE="$ptc_repo/cmake/mingw-x86_64.cmake" -D CMAKE_PREFIX_PATH="$prefix" \
    -D CMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -D CMAKE_CXX_FLAGS="-Wall -Wextra -Werror" \
    -D CMAKE_EXE_LINKER_FLAGS=-static >"$log" 2>&1 &&
    cmake --build "$work/gradient" >>"$log" 2>&1 || fail "gradient does not build: $(tail -n 20 "$log")"
found=$(grep '^ptc_DIR:' "$work/gradient/CMakeCache.txt" | cut -d= -f2)
[ "$found" = "$prefix/lib/cmake/ptc" ] || fail "ptc found in $found, not in the prefix"
echo "built: gradient.exe against $prefix"

ptc_wine_env || exit 1
wine "$work/gradient/gradient.exe" >"$out/gradient.stdout" 2>"$out/gradient.stderr" &
pid=$!
pixel() { # pixel PNG X Y: "R,G,B"
    convert "$1" -crop "1x1+$2+$3" +repage -depth 8 \
        -format '%[fx:round(255*r)],%[fx:round(255*g)],%[fx:round(255*b)]' info:
}
# Full screen in Wine's virtual desktop: the desktop takes the display's 320x200 at its corner.
# Starting Wine's DirectDraw takes seconds on a busy machine: the first pixel is waited for.
shot=$out/gradient-windows.png
for _ in $(seq 40); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; fail "ended early with status $?"; }
    ptc_screenshot "$shot" || fail "no screenshot"
    [ "$(pixel "$shot" 0 0)" = "0,0,128" ] && break
    sleep 0.5
done
for point in 0,0 319,199 160,100 50,150; do
    x=${point%,*} y=${point#*,}
    expected="$((x * 255 / 319)),$((y * 255 / 199)),128"
    actual=$(pixel "$shot" "$x" "$y")
    [ "$actual" = "$expected" ] || fail "gradient pixel ($x,$y): expected $expected, got $actual"
done
ptc_press_key gradient "Wine desktop" || fail "no X window to press a key in"
status=0
ptc_wait_exit "$pid" 20 || status=$?
[ "$status" -eq 124 ] && fail "still running 20 s after a key"
pid=
[ "$status" -eq 0 ] || fail "status $status after a key, expected 0"
said=$(tr -d '\r' <"$out/gradient.stdout")
[[ "$said" =~ ^gradient:\ [0-9]+\ frames\ at\ [0-9]+x[0-9]+,\ ended\ by\ a\ key$ ]] ||
    fail "gradient said: $said $(cat "$out/gradient.stderr")"
echo "under Wine: shown; $said"
