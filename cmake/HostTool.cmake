# ptc_host_tool(NAME SOURCE): a program the build runs on the build machine. Natively it is an
# ordinary target; when cross-compiling it is built with the host's compiler. Sets
# ${NAME}_COMMAND to the program's path and makes target ${NAME}_tool build it.
function(ptc_host_tool name source)
  if(CMAKE_CROSSCOMPILING)
    find_program(PTC_HOST_CXX NAMES c++ g++ REQUIRED)
    set(exe ${CMAKE_BINARY_DIR}/host/${name})
    add_custom_command(
      OUTPUT ${exe}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
      COMMAND ${PTC_HOST_CXX} -std=c++17 -O2 -Wall -Wextra -o ${exe} ${source}
      DEPENDS ${source}
      COMMENT "Building host tool ${name}")
    add_custom_target(${name}_tool DEPENDS ${exe})
    set(${name}_COMMAND ${exe} PARENT_SCOPE)
  else()
    add_executable(${name} ${source})
    target_compile_options(${name} PRIVATE -Wall -Wextra)
    add_custom_target(${name}_tool DEPENDS ${name})
    set(${name}_COMMAND $<TARGET_FILE:${name}> PARENT_SCOPE)
  endif()
endfunction()
