#!/usr/bin/env bash
# The library installed as a program's author gets it, and the examples built against it alone:
#   examples.sh BUILD_DIR OUTPUT_DIR
# Installs the build into a fresh prefix, builds each example from a folder outside the source
# tree with find_package(ptc) (and the gradient also with pkg-config), then on private X servers
# runs the gradient (its pixels on the screen, a key ends it with status 0) and the viewer (a
# TGA shown exactly; a broken one refused with status 1).
set -u
build=$(realpath "$1")
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
out=$(ptc_output_dir "$2")
examples=$ptc_repo/examples

work=$(mktemp -d)
end_case() {
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
    [ -n "${PTC_XVFB_PID:-}" ] && kill "$PTC_XVFB_PID" 2>/dev/null
    rm -rf "$work"
}
trap end_case EXIT

prefix=$work/prefix
ptc_install_into "$build" "$prefix" "$out/install.log"

for example in gradient palette viewer; do
    ptc_build_against "$prefix" "$examples/$example" "$work/$example" "$out/$example-build.log"
done
# pkg-config --static: the layers under ptc and the system's libraries come from Libs.private.
flags=$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs --static ptc) ||
    ptc_fail "pkg-config does not know ptc"
c++ -std=c++17 -Wall -Wextra -Werror -o "$work/gradient-pc" "$examples/gradient/gradient.cpp" \
    $flags >"$out/gradient-pc.log" 2>&1 || ptc_fail "gradient with pkg-config: $(tail -n 20 "$out/gradient-pc.log")"
echo "built: gradient, palette, viewer with find_package; gradient with pkg-config ($flags)"

unset DISPLAY
finish() { # finish SECONDS: the program's status in $status
    status=0
    ptc_wait_exit "$pid" "$1" || status=$?
    [ "$status" -eq 124 ] && ptc_fail "still running after $1 s"
    pid=
}
shown() { # shown NAME: waits up to 10 s for a window of that name
    for _ in $(seq 100); do
        xdotool search --name "^$1\$" >/dev/null 2>&1 && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# The gradient's 320x200 full screen shows at twice its size on a 640x400 screen, at its corner.
ptc_start_xvfb 24 640x400 || exit 1
"$work/gradient/gradient" >"$out/gradient.stdout" 2>"$out/gradient.stderr" &
pid=$!
shown gradient || ptc_fail "the gradient shows no window: $(cat "$out/gradient.stderr")"
# Mapped is not yet drawn: the first pixel is waited for, the rest then checked.
for _ in $(seq 20); do
    ptc_screenshot "$out/gradient.png" || ptc_fail "no screenshot"
    [ "$(ptc_pixel "$out/gradient.png" 1 1)" = "0,0,128" ] && break
    sleep 0.5
done
for point in 0,0 319,199 160,100 50,150 300,20; do
    x=${point%,*} y=${point#*,}
    expected="$((x * 255 / 319)),$((y * 255 / 199)),128"
    actual=$(ptc_pixel "$out/gradient.png" $((2 * x + 1)) $((2 * y + 1)))
    [ "$actual" = "$expected" ] ||
        ptc_fail "gradient pixel ($x,$y) at screen ($((2 * x + 1)),$((2 * y + 1))): expected $expected, got $actual"
done
ptc_press_key gradient || ptc_fail "no window to press a key in"
finish 10
[ "$status" -eq 0 ] || ptc_fail "gradient: status $status after a key, expected 0"
grep -q "^gradient: [0-9]* frames at 320x200, ended by a key$" "$out/gradient.stdout" ||
    ptc_fail "gradient said: $(cat "$out/gradient.stdout" "$out/gradient.stderr")"
echo "gradient: shown, ended by a key with status 0"
kill "$PTC_XVFB_PID"
PTC_XVFB_PID=

# The viewer's 640x480 display on a screen of that size shows the picture pixel for pixel.
ptc_start_xvfb 24 640x480 || exit 1
# Written top row first and saying so (ImageMagick marks a picture of no stated orientation as
# bottom row first yet writes it top first).
convert -size 640x480 -seed 7 plasma:fractal -type TrueColor -depth 8 "$work/picture.png" &&
    convert "$work/picture.png" -compress none -orient TopLeft "$work/picture.tga" ||
    ptc_fail "could not make a picture"
"$work/viewer/viewer" "$work/picture.tga" >"$out/viewer.stdout" 2>"$out/viewer.stderr" &
pid=$!
shown viewer || ptc_fail "the viewer shows no window: $(cat "$out/viewer.stderr")"
for _ in $(seq 20); do
    ptc_screenshot "$out/viewer.png" || ptc_fail "no screenshot"
    differing=$(compare -metric AE "$out/viewer.png" "$work/picture.png" null: 2>&1)
    [ "$differing" = 0 ] && break
    sleep 0.5
done
[ "$differing" = 0 ] || ptc_fail "the viewer's screen differs from the picture in $differing pixels"
ptc_press_key viewer || ptc_fail "no window to press a key in"
finish 10
[ "$status" -eq 0 ] || ptc_fail "viewer: status $status after a key, expected 0"

head -c 1000 "$work/picture.tga" >"$work/broken.tga"
"$work/viewer/viewer" "$work/broken.tga" >"$out/broken.stdout" 2>"$out/broken.stderr" &
pid=$!
finish 10
[ "$status" -eq 1 ] || ptc_fail "viewer of a broken file: status $status, expected 1"
grep -q "^viewer: could not read .*broken.tga" "$out/broken.stderr" ||
    ptc_fail "viewer of a broken file said: $(cat "$out/broken.stderr")"
echo "viewer: the picture exactly, a broken one refused with status 1"
