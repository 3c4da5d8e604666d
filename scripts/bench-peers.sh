#!/usr/bin/env bash
# Installs libyuv, SDL2 and pixman for the conversion benchmark (Debian), builds the native
# preset and runs bench_conversion with those peers timed beside our routines.
# scripts/bench-peers.sh [filter]
set -eu
cd "$(dirname "$0")/.."
packages="libyuv-dev libsdl2-dev libpixman-1-dev pkg-config"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    # shellcheck disable=SC2086
    $sudo apt-get install -y -q --no-install-recommends $missing
fi
# A fresh configure finds the packages just installed.
cmake --preset native
nice cmake --build build/native -j2 --target bench_conversion
exec build/native/bench_conversion "$@"
