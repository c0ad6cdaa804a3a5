# Installs the build tree into a fresh prefix and builds the host example
# against it twice: through find_package(kelmar) and through pkg-config.
# Arguments (-D): BUILD_DIR, WORK_DIR, EXAMPLE, CONSUMER_DIR, C_COMPILER,
# C_FLAGS, C_LIBS (what sanitized builds add at the end of the link),
# PKG_CONFIG (empty: pkg-config is missing and that half is skipped).
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
file(GLOB_RECURSE installed RELATIVE ${prefix} ${prefix}/*)
foreach(expected include/kelmar.h libkelmar.so kelmarConfig.cmake kelmarTargets.cmake kelmar.pc)
  if(NOT installed MATCHES "(^|;|/)${expected}(;|$)")
    message(FATAL_ERROR "the install tree lacks ${expected}: ${installed}")
  endif()
endforeach()

set(expected_output "bottom right pixel: red 255, green 251, blue 255\n")

# CMake: find_package(kelmar) and the target kelmar::kelmar.
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/cmake-build
    -DCMAKE_PREFIX_PATH=${prefix} -DHOST_EXAMPLE=${EXAMPLE}
    -DCMAKE_C_COMPILER=${C_COMPILER} "-DCMAKE_C_FLAGS=${C_FLAGS}"
    "-DCMAKE_C_STANDARD_LIBRARIES=${C_LIBS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
run(${WORK_DIR}/cmake-build/host_example)
if(NOT last_output STREQUAL expected_output)
  message(FATAL_ERROR "find_package build printed '${last_output}'")
endif()

if(NOT PKG_CONFIG)
  message("SKIPPED: no pkg-config; the pkg-config build was not tried")
  return()
endif()
file(GLOB_RECURSE pc_file ${prefix}/*/kelmar.pc)
get_filename_component(pc_dir ${pc_file} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(${PKG_CONFIG} --cflags --libs kelmar)
string(STRIP "${last_output}" flags)
if(NOT flags MATCHES "^-I${prefix}/include -L${prefix}/[^ ]+ -lkelmar$")
  message(FATAL_ERROR "pkg-config kelmar gives '${flags}', not the install prefix ${prefix}")
endif()
string(REGEX REPLACE "^.* -L([^ ]+) .*$" "\\1" libdir "${flags}")
separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(extra UNIX_COMMAND "${C_FLAGS}")
separate_arguments(libs UNIX_COMMAND "${C_LIBS}")
run(${C_COMPILER} ${extra} ${EXAMPLE} ${flags} ${libs} -o ${WORK_DIR}/pkg-config-example)
set(ENV{LD_LIBRARY_PATH} ${libdir})
run(${WORK_DIR}/pkg-config-example)
if(NOT last_output STREQUAL expected_output)
  message(FATAL_ERROR "pkg-config build printed '${last_output}'")
endif()
