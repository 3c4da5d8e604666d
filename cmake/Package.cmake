# Debian packages through CPack (natively; scripts/package.sh runs it): kelmor, the screensaver
# for XScreenSaver, and libptc-dev, the library to build programs on.
if(WIN32)
  return()
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Kelmor developers <kelmor@example.org>")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL kelmor dev)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/kelmor")
# Directories 0755 and files 0644 or 0755, as Debian's policy has them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_KELMOR_PACKAGE_NAME kelmor)
set(CPACK_DEBIAN_KELMOR_PACKAGE_SECTION x11)
# The shared libraries' packages come from the program itself (dpkg-shlibdeps): libc6,
# libstdc++6, libgcc-s1, libx11-6, libxext6.
set(CPACK_DEBIAN_KELMOR_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_KELMOR_PACKAGE_SUGGESTS xscreensaver)
set(CPACK_COMPONENT_KELMOR_DESCRIPTION
    "screensaver: pictures circling under flickering light rays\n\
Kelmor shows one of two pictures circling the middle of the screen with a\n\
flickering burst of light rays on top. It runs as a program of XScreenSaver\n\
(choose Kelmor in xscreensaver-settings) or on its own, full screen, until a\n\
key is pressed.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libptc-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# Static libraries: a program links X11 and Xext itself, through their development packages.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libx11-dev, libxext-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "display library for pixel-pushing programs (static library and headers)\n\
ptc opens a display (full screen or a window) and lets a program draw into\n\
surfaces of 22 pixel formats, with 8-bit palettes, converting on every copy\n\
to the display. This package has the static libraries, the headers, a CMake\n\
package (find_package(ptc)) and a pkg-config file.")
include(CPack)
