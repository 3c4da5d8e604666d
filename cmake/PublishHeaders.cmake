# Writes the public headers into OUTPUT_DIR/ptc/ as a program sees them, with their includes of
# each other spelt <ptc/Name.h>. Run with cmake -P:
#   -D SOURCE_DIR=... -D OUTPUT_DIR=... -D HEADERS="front/PTC.h;..."
# A public header that includes a project header outside the list fails the build: the
# installed set must compile on its own.
cmake_minimum_required(VERSION 3.25)
foreach(header ${HEADERS})
  file(READ ${SOURCE_DIR}/${header} text)
  string(REGEX MATCHALL "#include \"[^\"]+\"" includes "${text}")
  foreach(directive ${includes})
    string(REGEX REPLACE "#include \"([^\"]+)\"" "\\1" included "${directive}")
    if(NOT included IN_LIST HEADERS)
      message(FATAL_ERROR "${header} includes ${included}, which is not a public header")
    endif()
    get_filename_component(name ${included} NAME)
    string(REPLACE "${directive}" "#include <ptc/${name}>" text "${text}")
  endforeach()
  get_filename_component(name ${header} NAME)
  # Rewritten only when changed, so programs built against the folder are not rebuilt for nothing.
  set(target ${OUTPUT_DIR}/ptc/${name})
  set(old "")
  if(EXISTS ${target})
    file(READ ${target} old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE ${target} "${text}")
  endif()
endforeach()
