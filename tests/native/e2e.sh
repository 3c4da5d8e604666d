#!/usr/bin/env bash
# The native program end to end on a private X server, one case per call:
#   e2e.sh CASE KELMOR PICTURE_DIR OUTPUT_DIR
# fullscreen  the whole screen shows a moving picture; a key ends it with status 0
# lost        the X server goes away while it runs: a message and status 1, never a hang
# missing     no pictures: the kelmor1.tga message on standard error and status 1
# Every wait is bounded, so a hang fails the case instead of the run.
set -u
case_name=$1
program=$(realpath "$2")
pictures=$(realpath "$3")
out=$4
mkdir -p "$out"
out=$(realpath "$out")
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

# The program looks in the working folder first, then in its own: it runs from a copy, so that
# the pictures beside the build's program are not found by mistake.
work=$(mktemp -d)
end_case() {
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
    [ -n "${PTC_XVFB_PID:-}" ] && kill "$PTC_XVFB_PID" 2>/dev/null
    rm -rf "$work"
}
trap end_case EXIT
unset DISPLAY
ptc_start_xvfb 24 800x600 || exit 1


cp "$program" "$work/kelmor"
[ "$case_name" = missing ] || cp "$pictures/kelmor1.tga" "$pictures/kelmor2.tga" "$work/"
cd "$work" || exit 1
./kelmor >"$out/$case_name.stdout" 2>"$out/$case_name.stderr" &
pid=$!

finish() { # finish SECONDS: the program's status in $status
    status=0
    ptc_wait_exit "$pid" "$1" || status=$?
    [ "$status" -eq 124 ] && ptc_fail "still running after $1 s"
    pid=
}


case "$case_name" in
fullscreen)
    ptc_expect_moving "$pid" "$out/native" || ptc_fail "no moving picture"
    ptc_press_key "Kelmor screensaver" || ptc_fail "no window to press a key in"
    finish 10
    [ "$status" -eq 0 ] || ptc_fail "exit status $status after a key, expected 0"
    ;;
lost)
    sleep 2
    kill -0 "$pid" 2>/dev/null || ptc_fail "ended early"
    kill "$PTC_XVFB_PID"
    PTC_XVFB_PID=
    finish 10
    [ "$status" -eq 1 ] || ptc_fail "exit status $status after the server went, expected 1"
    grep -q "^ptc error: lost the connection to the X display" "$out/$case_name.stderr" ||
        ptc_fail "no message: $(cat "$out/$case_name.stderr")"
    ;;
missing)
    finish 10
    [ "$status" -eq 1 ] || ptc_fail "exit status $status, expected 1"
    [ "$(cat "$out/$case_name.stderr")" = "ptc error: could not process or load kelmor1.tga" ] ||
        ptc_fail "message: $(cat "$out/$case_name.stderr")"
    ;;
*)
    ptc_fail "no case $case_name"
    ;;
esac
echo "$case_name: status $status"
