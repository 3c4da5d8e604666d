#!/usr/bin/env bash
# The screensaver end to end under Wine, one case per call:
#   e2e.sh CASE KELMOR.EXE WINTOOL.EXE PICTURE_DIR OUTPUT_DIR
# fullscreen  inside the virtual desktop: a moving picture, a key ends it with status 0
# switch-s    the same, started with /s as Windows starts a screensaver
# preview     /p with a 152x112 window of another program: a child of that size, no mode change,
#             no DirectDraw, no box, no focus taken; status 0 within 2 s after that window goes;
#             and the description string Windows shows
# preview-missing  /p without pictures: status 1 and no box
# configure   /c: its box, no mode change, status 0 once answered; /a: status 0 at once, as
#             the program started by the tool reports it, and no box
# window      no DirectDraw, no virtual desktop: a 320x200 window, a key ends it with status 0
# close       no DirectDraw, no virtual desktop: closing the window ends it with status 0
# missing     no pictures anywhere: the kelmor1.tga box and status 1
# system      kelmor1.tga only in the System directory: it runs
# second      kelmor2.tga missing: the kelmor2.tga box and status 1
# corrupt     a corrupt kelmor1.tga: the kelmor1.tga box and status 1, never a crash
# soak        full screen for PTC_SOAK_SECONDS (120) once warmed up: working set, handles and
#             GDI objects level
# soak-window the same in the window
# Every wait is bounded, so a hang fails the case instead of the run.
set -u
case_name=$1
program=$2
wintool=$3
pictures=$4
out=$5
mkdir -p "$out"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
# The windowed path: DirectDraw is switched off, as on a system without it, so the search goes on
# to the GDI window.
case "$case_name" in
window | close | soak-window)
    export PTC_WINE_DESKTOP=0
    # Named here: the run's own prefix, which has the virtual desktop, is in the environment.
    export WINEPREFIX=$ptc_repo/build/wineprefix-plain
    export WINEDLLOVERRIDES="mscoree,mshtml=;ddraw=d"
    ;;
esac
# Inside a run that owns this prefix's session (the test run's own prefix) the case uses it;
# otherwise (the prefix without a desktop, or the case run alone) the session is the case's own,
# claimed first and ended with it. Set before the start, so that a start failing half-way is
# ended as well.
trap ptc_end_session EXIT
ptc_start_xvfb || exit 1
ptc_claim_session 600 || exit 1
ptc_wine_env || exit 1

fail() {
    echo "FAIL: $*"
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
    exit 1
}

windows=$WINEPREFIX/drive_c/windows
system=$windows/system32
place() { # place WHERE1 WHERE2: where the two pictures go ("-" for nowhere)
    rm -f "$windows"/kelmor[12].tga "$system"/kelmor[12].tga
    [ "$1" = - ] || cp "$pictures/kelmor1.tga" "$1/"
    [ "$2" = - ] || cp "$pictures/kelmor2.tga" "$2/"
}

start() { # start [ARGUMENTS]
    wine "$program" "$@" >"$out/$case_name.stdout" 2>"$out/$case_name.stderr" &
    pid=$!
}

# Waits up to $1 seconds for the program to end; its status in $status.
finish() {
    status=0
    ptc_wait_exit "$pid" "$1" || status=$?
    [ "$status" -eq 124 ] && fail "still running after $1 s"
    pid=
}


# Presses space in the program's window; inside a virtual desktop that is an X window within
# the desktop's.
press() {
    ptc_press_key "Kelmor screensaver" "Wine desktop" || fail "no X window to press a key in"
}

expect_box() { # expect_box TEXT
    local report
    report=$(ptc_dismiss_box "$wintool" "ptc error" 30000) || fail "no ptc error box"
    [ "$(printf '%s\n' "$report" | sed -n 1p)" = "$1" ] || fail "box says '$report', not '$1'"
    finish 30
    [ "$status" -eq 1 ] || fail "exit status $status after the box, expected 1"
}

expect_running() { # expect_running SHOT_PREFIX: pictures on screen that move
    ptc_expect_moving "$pid" "$out/$1" && return
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; fail "ended early with status $?"; }
    fail "no moving picture"
}

# Runs the program for PTC_SOAK_SECONDS and samples its resources every ten seconds, after a
# warm-up that lets the first frames settle. The bounds are tight enough that a leak of 300 bytes
# a frame at 60 frames a second, or of one handle or GDI object in a whole run, exceeds them.
soak() {
    local seconds=${PTC_SOAK_SECONDS:-120} warmup=${PTC_SOAK_WARMUP:-240}
    local samples=$out/$case_name.samples check
    check=$(ptc_wine_text "$wintool" check) && [ -n "$check" ] ||
        fail "the resource counters miss a leak: $check"
    echo "counters: $check"
    place "$windows" "$windows"
    start
    sleep 15
    : >"$samples"
    # Wine's DirectDraw path takes a few more megabytes over its first minute or two (how long
    # depends on the machine's load), then stays level for good. So the measured run starts once
    # the working set has grown by no more than 128 KiB over 20 s, which a leak of 300 bytes a
    # frame at 60 frames a second never does; one that has not levelled by then is a leak.
    local begin=$SECONDS measured=-1 line now
    while :; do
        kill -0 "$pid" 2>/dev/null || { wait "$pid"; fail "ended early with status $?"; }
        line=$(ptc_wine_text "$wintool" stats "Kelmor screensaver" 5000) && [ -n "$line" ] ||
            fail "no window to measure"
        now=$((SECONDS - begin))
        echo "$now $line" | tee -a "$samples"
        if [ "$measured" -lt 0 ]; then
            if awk 'END { exit !(NR >= 3 && ws[NR] - ws[NR - 2] <= 128) } { ws[NR] = $2 }' \
                "$samples"; then
                measured=$now
                echo "level after $now s: measuring for $seconds s"
            elif [ "$now" -ge "$warmup" ]; then
                fail "the working set still grows after $warmup s"
            fi
        fi
        [ "$measured" -ge 0 ] && [ $((now - measured)) -ge "$seconds" ] && break
        sleep 10
    done
    press
    finish 20
    [ "$status" -eq 0 ] || fail "exit status $status after a key, expected 0"
    # Columns: seconds, working set KiB, private KiB, handles, GDI objects, USER objects. Memory
    # is held from the measured run's start, handles and GDI objects over the whole run. The
    # bounds are tight enough that a leak of 300 bytes a frame, or of one handle or GDI object in
    # a whole run, exceeds them.
    awk -v from="$measured" '
         { t[NR] = $1; ws[NR] = $2; h[NR] = $4; g[NR] = $5; if (m == 0 && $1 >= from) m = NR }
         END { dws = 0; dh = 0; dg = 0
               for (i = m; i <= NR; i++) if (ws[i] - ws[m] > dws) dws = ws[i] - ws[m]
               for (i = 1; i <= NR; i++) { if (h[i] - h[1] > dh) dh = h[i] - h[1]
                                           if (g[i] - g[1] > dg) dg = g[i] - g[1] }
               printf "working set %d KiB at %d s, %d KiB more from %d s to %d s; ", ws[1], t[1], dws, t[m], t[NR]
               printf "handles %d, +%d; GDI objects %d, +%d\n", h[1], dh, g[1], dg
               if (t[NR] - t[m] < 120 && !ENVIRON["PTC_SOAK_SECONDS"]) exit 1
               exit !(dws <= 1024 && dh <= 2 && dg <= 2 && h[1] > 0 && g[1] > 0) }' "$samples" ||
        fail "resources grew while running"
}

# The virtual desktop is in its own 640x480 mode.
expect_desktop_mode() { # expect_desktop_mode WHEN
    local geometry
    geometry=$(xdotool search --name "Wine desktop" getwindowgeometry 2>/dev/null | grep Geometry)
    echo "desktop $1: $geometry"
    case "$geometry" in *640x480*) ;; *) fail "desktop not 640x480 $1: $geometry" ;; esac
}

# Hosts the program's preview in a 152x112 window of wintool's (another process, as the settings
# page is) and checks that wintool's report, kept in $report, has each of the expected lines.
expect_preview() { # expect_preview LINE...
    local line
    report=$(ptc_wine_text "$wintool" preview 152x112 "$(winepath -w "$program")" 2 \
        2>"$out/$case_name.wintool") || fail "wintool preview failed"
    printf '%s\n' "$report"
    for line in "$@"; do
        printf '%s\n' "$report" | grep -qx -- "$line" || fail "no line '$line'"
    done
}

fullscreen() { # fullscreen [ARGUMENTS]
    place "$windows" "$windows"
    start "$@"
    expect_running "$case_name"
    press
    finish 20
    [ "$status" -eq 0 ] || fail "exit status $status after a key, expected 0"
    expect_desktop_mode "after" # restored
}

case "$case_name" in
soak | soak-window)
    soak
    ;;
fullscreen)
    fullscreen
    ;;
switch-s)
    fullscreen /s
    ;;
preview)
    place "$windows" "$windows"
    expect_preview "description Kelmor screensaver" "child KELMOR_PREVIEW 152x112" \
        "screen 640x480" "priority normal" "ddraw not loaded" "boxes 0" "foreground host" \
        "exit 0 after [0-9]* ms"
    # The tool waits up to five seconds after destroying its window; two are allowed.
    ms=$(printf '%s\n' "$report" | sed -n 's/^exit 0 after \([0-9]*\) ms$/\1/p')
    [ "$ms" -lt 2000 ] || fail "ended $ms ms after its window, not within 2 s"
    status=0
    ;;
preview-missing)
    place - -
    # A box would keep it running.
    expect_preview "child none" "boxes 0" "exit 1 early"
    status=1
    ;;
configure)
    place "$windows" "$windows"
    start /c
    found=$(ptc_wine_text "$wintool" find "Kelmor screensaver" 30000) || fail "no box"
    case "$found" in "#32770 "*) ;; *) fail "not a box: $found" ;; esac
    expect_desktop_mode "with the box up"
    box=$(ptc_dismiss_box "$wintool" "Kelmor screensaver" 5000) || fail "no box to answer"
    [ "$(printf '%s\n' "$box" | sed -n 1p)" = "This screensaver has no options to set." ] ||
        fail "the box says '$box'"
    finish 20
    [ "$status" -eq 0 ] || fail "exit status $status after the box, expected 0"
    report=$(ptc_wine_text "$wintool" run 20000 "$(winepath -w "$program")" /a) ||
        fail "wintool run failed"
    printf '%s\n' "$report"
    printf '%s\n' "$report" | grep -qx "exit 0 after [0-9]* ms" || fail "/a did not end with 0"
    printf '%s\n' "$report" | grep -qx "boxes 0" || fail "/a showed a box"
    ;;
window)
    place "$windows" "$windows"
    start
    expect_running window
    found=$(ptc_wine_text "$wintool" find "Kelmor screensaver" 5000)
    [ "$found" = "PTC_GDI_WINDOWED 320x200" ] || fail "expected a 320x200 GDI window, found '$found'"
    press
    finish 20
    [ "$status" -eq 0 ] || fail "exit status $status after a key, expected 0"
    ;;
close)
    place "$windows" "$windows"
    start
    sleep 3
    [ "$(ptc_wine_text "$wintool" close "Kelmor screensaver" 10000)" = "closed" ] ||
        fail "no window to close"
    finish 20
    [ "$status" -eq 0 ] || fail "exit status $status after WM_CLOSE, expected 0"
    ;;
missing)
    place - -
    start
    expect_box "could not process or load kelmor1.tga"
    ;;
system)
    place "$system" "$windows"
    start
    expect_running system
    press
    finish 20
    [ "$status" -eq 0 ] || fail "exit status $status, expected 0"
    ;;
second)
    place "$windows" -
    start
    expect_box "could not process or load kelmor2.tga"
    ;;
corrupt)
    place - "$windows"
    head -c 30 "$pictures/kelmor1.tga" >"$windows/kelmor1.tga"
    start
    expect_box "could not process or load kelmor1.tga"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "PASS: $case_name (status ${status:-})"
