#!/usr/bin/env bash
# Runs a GoogleTest program for CTest and passes only on the program's own word, never on an exit
# status alone: a run of tests needs status 0 and gtest's result line "[  PASSED  ]", a listing
# needs status 0 and a test listed. A process that ends before it says so (even with status 0, as
# one whose start-up failed inside Wine can) fails, and every failure names the status.
#   gtest_run.sh [EMULATOR] PROGRAM ARGUMENTS...
set -u
listing=0
for argument in "$@"; do
    [ "$argument" = --gtest_list_tests ] && listing=1
done
output=$(mktemp) || exit 1
trap 'rm -f "$output"' EXIT
"$@" | tee "$output"
status=${PIPESTATUS[0]}
runner=$(basename "$1")
if [ "$status" -ne 0 ]; then
    echo "$runner ended with exit status $status" >&2
    exit "$status"
fi
if [ "$listing" -eq 1 ]; then
    # A suite's line is its name and a dot, at the start of the line.
    grep -q '^[A-Za-z_].*\.' "$output" && exit 0
    echo "$runner ended with exit status 0 but listed no test" >&2
    exit 1
fi
grep -q '^\[  PASSED  \] ' "$output" && exit 0
echo "$runner ended with exit status 0 but never printed gtest's result line \"[  PASSED  ]\":" \
    "the tests did not say they passed" >&2
exit 1
