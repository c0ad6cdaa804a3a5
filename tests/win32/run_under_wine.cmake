# Runs a Windows program under wine in the build tree's prefix; fails when it
# exits with a non-zero status, and shows what it printed.
#   cmake -DWINE_PREFIX=... -DEXE=... "-DARGS=a;b" -P run_under_wine.cmake
set(ENV{WINEPREFIX} ${WINE_PREFIX})
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
get_filename_component(dir ${EXE} DIRECTORY)
# Wine's launcher now and then fails before the program runs, with several
# tests starting programs in one prefix: that start is tried again.
foreach(attempt RANGE 2)
  execute_process(COMMAND wine ${EXE} ${ARGS} WORKING_DIRECTORY ${dir}
                  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE result)
  if(result EQUAL 0 OR NOT "${output}${errors}" MATCHES "could not be started")
    break()
  endif()
endforeach()
string(REPLACE "\r\n" "\n" output "${output}")
message("${output}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${EXE} ${ARGS} failed (${result}):\n${errors}")
endif()
