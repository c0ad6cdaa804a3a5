# Creates the wine prefix inside the build tree, so runs do not depend on the
# machine's own wine set-up.  A 64-bit prefix runs 32- and 64-bit programs.
set(ENV{WINEPREFIX} ${WINE_PREFIX})
set(ENV{WINEARCH} win64)
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
if(NOT EXISTS ${WINE_PREFIX}/system.reg)
  execute_process(COMMAND wineboot --init RESULT_VARIABLE result)
  execute_process(COMMAND wineserver --wait)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "wineboot failed: ${result}")
  endif()
endif()
