#!/usr/bin/env bash
# Installs, on Debian, whatever the builds and tests need and the machine lacks.
set -eu
source "$(dirname "$0")/lib.sh"
# wine64-preloader reserves Wine's fixed addresses before anything else is mapped: without it a
# start now and then fails with "failed to map the shared user data" when the address-space
# randomisation happens to put a library there.
ptc_install_packages cmake ninja-build g++ googletest g++-mingw-w64-x86-64-posix \
    g++-mingw-w64-i686-posix wine wine64 wine64-preloader xvfb x11-utils imagemagick xdotool \
    zip unzip libx11-dev libxext-dev xscreensaver lintian dpkg-dev pkg-config emscripten chromium python3
