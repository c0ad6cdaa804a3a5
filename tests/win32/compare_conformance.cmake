# Runs the conformance program natively and, with ARGS, under wine; their
# outputs must be identical line for line.
#   cmake -DNATIVE=... -DWINDOWS_EXE=... -DWINE_PREFIX=... -DWORK_DIR=...
#         -DNAME=... ["-DARGS=a;b"] -P compare_conformance.cmake
set(ENV{WINEPREFIX} ${WINE_PREFIX})
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")

execute_process(COMMAND ${NATIVE} OUTPUT_VARIABLE native RESULT_VARIABLE native_result)
get_filename_component(windows_dir ${WINDOWS_EXE} DIRECTORY)
# Now and then, with several tests starting programs in one prefix, wine's
# launcher fails before the program runs ("Application could not be
# started"): that start is tried again, a program's own failure is not.
foreach(attempt RANGE 2)
  execute_process(COMMAND wine ${WINDOWS_EXE} ${ARGS} WORKING_DIRECTORY ${windows_dir}
                  OUTPUT_VARIABLE windows ERROR_VARIABLE windows_errors
                  RESULT_VARIABLE windows_result)
  if(windows_result EQUAL 0 OR NOT "${windows}${windows_errors}" MATCHES "could not be started")
    break()
  endif()
endforeach()
string(REPLACE "\r\n" "\n" windows "${windows}")
file(WRITE ${WORK_DIR}/conformance-native.txt "${native}")
file(WRITE ${WORK_DIR}/conformance-${NAME}.txt "${windows}")

if(NOT native_result EQUAL 0)
  message(FATAL_ERROR "native conformance run failed (${native_result})")
endif()
if(NOT windows_result EQUAL 0)
  message(FATAL_ERROR "${NAME} conformance run failed (${windows_result}):\n${windows}")
endif()
if(NOT native STREQUAL windows)
  string(REPLACE "\n" ";" native_lines "${native}")
  string(REPLACE "\n" ";" windows_lines "${windows}")
  list(LENGTH native_lines count)
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    list(GET native_lines ${i} a)
    list(GET windows_lines ${i} b)
    if(NOT a STREQUAL b)
      message(FATAL_ERROR "first difference, line ${i}:\n native: ${a}\n ${NAME}: ${b}")
    endif()
  endforeach()
  message(FATAL_ERROR "outputs differ in length")
endif()
string(REGEX MATCHALL "\n" lines "${native}")
list(LENGTH lines count)
message(STATUS "${NAME}: ${count} conversions identical")
