#!/usr/bin/env bash
# The Windows library installed into a fresh prefix, the gradient example cross-built against it
# alone with find_package(ptc), and run under Wine:
#   examples_windows.sh BUILD_DIR OUTPUT_DIR
# It must draw, end on a key with status 0 and say so itself.
set -u
build=$(realpath "$1")
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
out=$(ptc_output_dir "$2")

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

prefix=$work/prefix
ptc_install_into "$build" "$prefix" "$out/install.log"
# A static runtime, so the program needs no DLL from the cross compiler under Wine.
ptc_build_against "$prefix" "$ptc_repo/examples/gradient" "$work/gradient" \
    "$out/gradient-build.log" -D CMAKE_TOOLCHAIN_FILE="$ptc_repo/cmake/mingw-x86_64.cmake" \
    -D CMAKE_EXE_LINKER_FLAGS=-static
echo "built: gradient.exe against $prefix"

ptc_wine_env || exit 1
wine "$work/gradient/gradient.exe" >"$out/gradient.stdout" 2>"$out/gradient.stderr" &
pid=$!
# Full screen in Wine's virtual desktop: the desktop takes the display's 320x200 at its corner.
# Starting Wine's DirectDraw takes seconds on a busy machine: the first pixel is waited for.
shot=$out/gradient-windows.png
for _ in $(seq 40); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; ptc_fail "ended early with status $?"; }
    ptc_screenshot "$shot" || ptc_fail "no screenshot"
    [ "$(ptc_pixel "$shot" 0 0)" = "0,0,128" ] && break
    sleep 0.5
done
for point in 0,0 319,199 160,100 50,150; do
    x=${point%,*} y=${point#*,}
    expected="$((x * 255 / 319)),$((y * 255 / 199)),128"
    actual=$(ptc_pixel "$shot" "$x" "$y")
    [ "$actual" = "$expected" ] || ptc_fail "gradient pixel ($x,$y): expected $expected, got $actual"
done
ptc_press_key gradient "Wine desktop" || ptc_fail "no X window to press a key in"
status=0
ptc_wait_exit "$pid" 20 || status=$?
[ "$status" -eq 124 ] && ptc_fail "still running 20 s after a key"
pid=
[ "$status" -eq 0 ] || ptc_fail "status $status after a key, expected 0"
said=$(tr -d '\r' <"$out/gradient.stdout")
[[ "$said" =~ ^gradient:\ [0-9]+\ frames\ at\ [0-9]+x[0-9]+,\ ended\ by\ a\ key$ ]] ||
    ptc_fail "gradient said: $said $(cat "$out/gradient.stderr")"
echo "under Wine: shown; $said"
