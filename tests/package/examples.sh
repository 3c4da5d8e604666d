#!/usr/bin/env bash
# The library installed as a program's author gets it, and the examples built against it alone:
#   examples.sh BUILD_DIR OUTPUT_DIR
# Installs the build into a fresh prefix, builds each example from a folder outside the source
# tree with find_package(ptc) (and the gradient also with pkg-config), then on private X servers
# runs the gradient (its pixels on the screen, a key ends it with status 0) and the viewer (a
# TGA shown exactly; a broken one refused with status 1).
set -u
build=$(realpath "$1")
out=$2
mkdir -p "$out"
out=$(realpath "$out")
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
examples=$ptc_repo/examples

work=$(mktemp -d)
end_case() {
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
    [ -n "${PTC_XVFB_PID:-}" ] && kill "$PTC_XVFB_PID" 2>/dev/null
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

# Only the prefix: no package registry, and warnings in the examples (or in the headers they
# include) are errors.
for example in gradient palette viewer; do
    log=$out/$example-build.log
    cmake -S "$examples/$example" -B "$work/$example" -G Ninja -D CMAKE_BUILD_TYPE=Release \
        -D CMAKE_PREFIX_PATH="$prefix" -D CMAKE_FIND_USE_PACKAGE_REGISTRY=OFF \
        -D CMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >"$log" 2>&1 &&
        cmake --build "$work/$example" >>"$log" 2>&1 || fail "$example does not build: $(tail -n 20 "$log")"
    found=$(grep '^ptc_DIR:' "$work/$example/CMakeCache.txt" | cut -d= -f2)
    [ "$found" = "$prefix/lib/cmake/ptc" ] || fail "$example found ptc in $found, not in the prefix"
done
# pkg-config --static: the layers under ptc and the system's libraries come from Libs.private.
flags=$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs --static ptc) ||
    fail "pkg-config does not know ptc"
c++ -std=c++17 -Wall -Wextra -Werror -o "$work/gradient-pc" "$examples/gradient/gradient.cpp" \
    $flags >"$out/gradient-pc.log" 2>&1 || fail "gradient with pkg-config: $(tail -n 20 "$out/gradient-pc.log")"
echo "built: gradient, palette, viewer with find_package; gradient with pkg-config ($flags)"

unset DISPLAY
finish() { # finish SECONDS: the program's status in $status
    status=0
    ptc_wait_exit "$pid" "$1" || status=$?
    [ "$status" -eq 124 ] && fail "still running after $1 s"
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
pixel() { # pixel PNG X Y: "R,G,B"
    convert "$1" -crop "1x1+$2+$3" +repage -depth 8 \
        -format '%[fx:round(255*r)],%[fx:round(255*g)],%[fx:round(255*b)]' info:
}

# The gradient's 320x200 full screen shows at twice its size on a 640x400 screen, at its corner.
ptc_start_xvfb 24 640x400 || exit 1
"$work/gradient/gradient" >"$out/gradient.stdout" 2>"$out/gradient.stderr" &
pid=$!
shown gradient || fail "the gradient shows no window: $(cat "$out/gradient.stderr")"
# Mapped is not yet drawn: the first pixel is waited for, the rest then checked.
for _ in $(seq 20); do
    ptc_screenshot "$out/gradient.png" || fail "no screenshot"
    [ "$(pixel "$out/gradient.png" 1 1)" = "0,0,128" ] && break
    sleep 0.5
done
for point in 0,0 319,199 160,100 50,150 300,20; do
    x=${point%,*} y=${point#*,}
    expected="$((x * 255 / 319)),$((y * 255 / 199)),128"
    actual=$(pixel "$out/gradient.png" $((2 * x + 1)) $((2 * y + 1)))
    [ "$actual" = "$expected" ] ||
        fail "gradient pixel ($x,$y) at screen ($((2 * x + 1)),$((2 * y + 1))): expected $expected, got $actual"
done
ptc_press_key gradient || fail "no window to press a key in"
finish 10
[ "$status" -eq 0 ] || fail "gradient: status $status after a key, expected 0"
grep -q "^gradient: [0-9]* frames at 320x200, ended by a key$" "$out/gradient.stdout" ||
    fail "gradient said: $(cat "$out/gradient.stdout" "$out/gradient.stderr")"
echo "gradient: shown, ended by a key with status 0"
kill "$PTC_XVFB_PID"
PTC_XVFB_PID=

# The viewer's 640x480 display on a screen of that size shows the picture pixel for pixel.
ptc_start_xvfb 24 640x480 || exit 1
# Written top row first and saying so (ImageMagick marks a picture of no stated orientation as
# bottom row first yet writes it top first).
convert -size 640x480 -seed 7 plasma:fractal -type TrueColor -depth 8 "$work/picture.png" &&
    convert "$work/picture.png" -compress none -orient TopLeft "$work/picture.tga" ||
    fail "could not make a picture"
"$work/viewer/viewer" "$work/picture.tga" >"$out/viewer.stdout" 2>"$out/viewer.stderr" &
pid=$!
shown viewer || fail "the viewer shows no window: $(cat "$out/viewer.stderr")"
for _ in $(seq 20); do
    ptc_screenshot "$out/viewer.png" || fail "no screenshot"
    differing=$(compare -metric AE "$out/viewer.png" "$work/picture.png" null: 2>&1)
    [ "$differing" = 0 ] && break
    sleep 0.5
done
[ "$differing" = 0 ] || fail "the viewer's screen differs from the picture in $differing pixels"
ptc_press_key viewer || fail "no window to press a key in"
finish 10
[ "$status" -eq 0 ] || fail "viewer: status $status after a key, expected 0"

head -c 1000 "$work/picture.tga" >"$work/broken.tga"
"$work/viewer/viewer" "$work/broken.tga" >"$out/broken.stdout" 2>"$out/broken.stderr" &
pid=$!
finish 10
[ "$status" -eq 1 ] || fail "viewer of a broken file: status $status, expected 1"
grep -q "^viewer: could not read .*broken.tga" "$out/broken.stderr" ||
    fail "viewer of a broken file said: $(cat "$out/broken.stderr")"
echo "viewer: the picture exactly, a broken one refused with status 1"
