#!/usr/bin/env bash
# Installs, on Debian, whatever the builds and tests need and the machine lacks.
set -eu
source "$(dirname "$0")/lib.sh"
ptc_install_packages cmake ninja-build g++ googletest g++-mingw-w64-x86-64-posix \
    g++-mingw-w64-i686-posix wine wine64 xvfb x11-utils imagemagick xdotool zip unzip \
    libx11-dev libxext-dev xscreensaver lintian dpkg-dev pkg-config emscripten chromium python3
