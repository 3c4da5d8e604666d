#!/usr/bin/env bash
# Builds what a person installs from, into build/:
#   kelmor-win64.zip, kelmor-win32.zip  kelmor.scr, the two pictures and kelmor.inf (right-click
#                                       it and choose Install)
#   ptc-win64.zip                       the library for 64-bit Windows programs: headers,
#                                       static libraries, CMake package and ptc.pc
#   kelmor_VERSION_amd64.deb            the screensaver for XScreenSaver
#   libptc-dev_VERSION_amd64.deb        the library for Debian programs
# and checks the two Debian packages with lintian (errors fail; warnings are shown).
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
source scripts/lib.sh
for build in mingw64:win64 mingw32:win32; do
    preset=${build%%:*}
    zip=$PWD/build/kelmor-${build#*:}.zip
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target kelmor_package
    ptc_zip_package "build/$preset/package" "$zip"
    echo "package: $zip"
done

# The mingw64 install tree, unzipped anywhere and named in CMAKE_PREFIX_PATH.
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
cmake --build --preset mingw64 --target ptc
cmake --install build/mingw64 --prefix "$tree" --component dev >/dev/null
rm -f build/ptc-win64.zip
(cd "$tree" && zip -q -r -X "$OLDPWD/build/ptc-win64.zip" .)
echo "package: $PWD/build/ptc-win64.zip"

cmake --preset native >/dev/null
cmake --build --preset native
cpack --config build/native/CPackConfig.cmake -B "$tree/debs" >/dev/null
for deb in "$tree"/debs/*.deb; do
    cp "$deb" build/
    echo "package: $PWD/build/$(basename "$deb")"
done
lintian --fail-on error build/kelmor_*.deb build/libptc-dev_*.deb
