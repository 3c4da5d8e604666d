# The library's layers. Each is a static library whose headers are published, one symbolic link
# each, into a folder of the build tree that only the layer itself and the targets linking it
# see: a source that includes a header of a layer it does not link fails to compile.
#
#   ptc_layer(NAME [LINKS layer...])        declares a layer (from the top-level CMakeLists)
#   ptc_layer_files(NAME [SOURCES file...] [HEADERS file...])
#                                            adds files of the calling folder to a layer

set(PTC_LAYER_ROOT ${CMAKE_BINARY_DIR}/layers)

function(ptc_layer name)
  cmake_parse_arguments(L "" "" "LINKS" ${ARGN})
  add_library(${name} STATIC)
  # Made afresh at every configure, so a header taken out of a layer is gone from its folder too.
  file(REMOVE_RECURSE ${PTC_LAYER_ROOT}/${name})
  # A layer whose files are all headers still builds.
  set_target_properties(${name} PROPERTIES LINKER_LANGUAGE CXX)
  file(MAKE_DIRECTORY ${PTC_LAYER_ROOT}/${name})
  # Build-tree only: an installed layer's users include the published headers (Install.cmake).
  target_include_directories(${name} PUBLIC $<BUILD_INTERFACE:${PTC_LAYER_ROOT}/${name}>)
  target_link_libraries(${name} PUBLIC $<BUILD_INTERFACE:project_options> ${L_LINKS})
endfunction()

function(ptc_layer_files name)
  cmake_parse_arguments(L "" "" "SOURCES;HEADERS" ${ARGN})
  if(L_SOURCES)
    target_sources(${name} PRIVATE ${L_SOURCES})
  endif()
  file(RELATIVE_PATH folder ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  foreach(header ${L_HEADERS})
    set(link ${PTC_LAYER_ROOT}/${name}/${folder}/${header})
    get_filename_component(link_folder ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${link_folder})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${link} SYMBOLIC)
    target_sources(${name} PRIVATE ${header})
  endforeach()
endfunction()
