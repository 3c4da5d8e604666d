#!/usr/bin/env bash
# With no X display to open, the program reports that it found no display and exits with
# status 1.
set -u
program=$1
err=$(env -u DISPLAY "$program" </dev/null 2>&1 >/dev/null)
status=$?
[ "$status" -eq 1 ] || { echo "exit status $status, expected 1"; exit 1; }
[ "$err" = "ptc error: could not initialize!" ] || { echo "unexpected message: $err"; exit 1; }
echo "exit status 1 with: $err"
