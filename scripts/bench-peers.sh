#!/usr/bin/env bash
# Installs libyuv, SDL2 and pixman for the conversion benchmark (Debian), builds the native
# preset and runs bench_conversion with those peers timed beside our routines.
# scripts/bench-peers.sh [filter [instruction set]] [--csv file]
set -eu
cd "$(dirname "$0")/.."
source scripts/lib.sh
ptc_install_packages libyuv-dev libsdl2-dev libpixman-1-dev pkg-config
# A fresh configure finds the packages just installed.
cmake --preset native
nice cmake --build build/native -j2 --target bench_conversion
exec build/native/bench_conversion "$@"
