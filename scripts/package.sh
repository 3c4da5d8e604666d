#!/usr/bin/env bash
# Builds the packages a person installs the screensaver from: build/kelmor-win64.zip and
# build/kelmor-win32.zip, each holding kelmor.scr, the two pictures and kelmor.inf (right-click
# it and choose Install).
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
source tests/wine/lib.sh
for build in mingw64:win64 mingw32:win32; do
    preset=${build%%:*}
    zip=$PWD/build/kelmor-${build#*:}.zip
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target kelmor_package
    ptc_zip_package "build/$preset/package" "$zip"
    echo "package: $zip"
done
