# What `cmake --install` puts where: the library for programs to build on (component dev: the
# layers' static libraries, the public headers under include/ptc/, a CMake package and ptc.pc),
# and natively the screensaver laid out as XScreenSaver expects it (component kelmor).

# The headers a program needs, and nothing they do not include. They are published into
# include/ptc/ of the build tree, including each other as <ptc/Name.h>, and installed from there,
# so a program spells them the same against the build tree and against an installed copy.
set(PTC_PUBLIC_HEADERS
    backends/Interface.h conversion/Raster.h display/BackEndHolder.h display/List.h
    display/MODE.h display/Palette.h display/Rect.h display/Surface.h format/Codes.h
    format/Format.h front/PTC.h platform/Platform.h)
set(PTC_PUBLISHED_DIR ${CMAKE_BINARY_DIR}/include)
set(published)
foreach(header ${PTC_PUBLIC_HEADERS})
  get_filename_component(name ${header} NAME)
  list(APPEND published ${PTC_PUBLISHED_DIR}/ptc/${name})
endforeach()
list(TRANSFORM PTC_PUBLIC_HEADERS PREPEND ${CMAKE_SOURCE_DIR}/ OUTPUT_VARIABLE header_sources)
string(REPLACE ";" "\\;" header_list "${PTC_PUBLIC_HEADERS}")
add_custom_command(
  OUTPUT ${published}
  COMMAND ${CMAKE_COMMAND} -D SOURCE_DIR=${CMAKE_SOURCE_DIR} -D OUTPUT_DIR=${PTC_PUBLISHED_DIR}
          -D HEADERS=${header_list} -P ${CMAKE_SOURCE_DIR}/cmake/PublishHeaders.cmake
  DEPENDS ${header_sources} ${CMAKE_SOURCE_DIR}/cmake/PublishHeaders.cmake
  COMMENT "Publishing the public headers"
  VERBATIM)
add_custom_target(ptc_public_headers ALL DEPENDS ${published})
add_dependencies(ptc ptc_public_headers)
target_include_directories(ptc INTERFACE $<BUILD_INTERFACE:${PTC_PUBLISHED_DIR}>
                                         $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
# The headers use nothing newer.
target_compile_features(ptc INTERFACE cxx_std_17)

# The layers, installed as ptc::ptc (the one a program links) and the ones below it.
set(installed_layers ptc_platform ptc_format ptc_conversion ptc_core ${PTC_PLATFORM_BACK_ENDS} ptc)
foreach(layer ${installed_layers})
  string(REGEX REPLACE "^ptc_" "" export_name ${layer})
  set_target_properties(${layer} PROPERTIES EXPORT_NAME ${export_name})
endforeach()
set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/ptc)
install(TARGETS ${installed_layers} EXPORT ptcTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
                                                              COMPONENT dev)
install(FILES ${published} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ptc COMPONENT dev)
install(EXPORT ptcTargets NAMESPACE ptc:: DESTINATION ${package_dir} COMPONENT dev)

include(CMakePackageConfigHelpers)
if(WIN32)
  set(PTC_FIND_DEPENDENCIES "")
  set(PTC_PC_SYSTEM_LIBS "-lgdi32 -luser32 -lwinmm")
else()
  set(PTC_FIND_DEPENDENCIES "find_dependency(X11)\nfind_dependency(Threads)")
  set(PTC_PC_SYSTEM_LIBS "-lXext -lX11 -pthread")
endif()
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/ptcConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/ptcConfig.cmake INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ptcConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ptcConfig.cmake ${CMAKE_BINARY_DIR}/ptcConfigVersion.cmake
        DESTINATION ${package_dir} COMPONENT dev)

# pkg-config: the prefix found from the file's own place, so the tree can be moved. Only -lptc
# links plainly; the layers below it and the system's libraries are for static linking, which
# is the only kind there is (pkg-config --static).
set(pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH PTC_PC_TO_PREFIX /${pc_dir} /)
string(REGEX REPLACE "/$" "" PTC_PC_TO_PREFIX "${PTC_PC_TO_PREFIX}")
set(PTC_PC_LAYERS "")
foreach(layer ${PTC_PLATFORM_BACK_ENDS} ptc_core ptc_conversion ptc_format ptc_platform)
  string(APPEND PTC_PC_LAYERS " -l${layer}")
endforeach()
string(STRIP "${PTC_PC_LAYERS}" PTC_PC_LAYERS)
configure_file(${CMAKE_SOURCE_DIR}/cmake/ptc.pc.in ${CMAKE_BINARY_DIR}/ptc.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/ptc.pc DESTINATION ${pc_dir} COMPONENT dev)
if(WIN32)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ptc
          COMPONENT dev)
  return() # the screensaver's Windows package is the INF folder (screensaver/)
endif()

# Each Debian package's documents: the copyright and the changelog, compressed without a time
# stamp (gzip -n) as Debian keeps them.
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/changelog.Debian.gz
  COMMAND ${GZIP_PROGRAM} -9 -n -c ${CMAKE_SOURCE_DIR}/packaging/changelog.Debian >
          ${CMAKE_BINARY_DIR}/changelog.Debian.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog.Debian)
add_custom_target(package_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.Debian.gz)
set(package_documents ${CMAKE_SOURCE_DIR}/packaging/copyright
                      ${CMAKE_BINARY_DIR}/changelog.Debian.gz)
install(FILES ${package_documents} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/libptc-dev
        COMPONENT dev)

# The screensaver where XScreenSaver looks for its programs and their descriptions, the
# pictures under share/kelmor (found from the program's place, see PictureFolder_posix.cpp).
install(TARGETS kelmor RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver
                               COMPONENT kelmor)
install(FILES ${CMAKE_BINARY_DIR}/kelmor1.tga ${CMAKE_BINARY_DIR}/kelmor2.tga
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kelmor COMPONENT kelmor)
install(FILES ${CMAKE_SOURCE_DIR}/screensaver/kelmor.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config COMPONENT kelmor)
# Debian keeps manual pages compressed too.
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/kelmor.6.gz
  COMMAND ${GZIP_PROGRAM} -9 -n -c ${CMAKE_SOURCE_DIR}/screensaver/kelmor.6 >
          ${CMAKE_BINARY_DIR}/kelmor.6.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/screensaver/kelmor.6)
add_custom_target(kelmor_manual ALL DEPENDS ${CMAKE_BINARY_DIR}/kelmor.6.gz)
install(FILES ${CMAKE_BINARY_DIR}/kelmor.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6
        COMPONENT kelmor)
install(FILES ${package_documents} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelmor
        COMPONENT kelmor)
