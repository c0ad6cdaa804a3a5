# Checks the hardening of the built shared library with readelf:
#   cmake -DREADELF=readelf -DLIBRARY=libkelmar.so -DFORTIFY=ON|OFF
#         -DDEFINITIONS="<compile definitions>" -P check_elf_hardening.cmake
# - full RELRO: a GNU_RELRO segment and immediate binding (BIND_NOW / NOW);
# - a GNU_STACK segment that is not executable, and no text relocations;
# - stack protection: __stack_chk_fail is referenced;
# - _FORTIFY_SOURCE=2 among the compile definitions when FORTIFY is ON (the
#   library's only libc calls copy and fill with sizes unknown at compile
#   time, so fortification leaves no *_chk call in the file to look for);
# - exactly the six exports are defined, and nothing is imported beyond the
#   few libc routines the compiler itself calls and sched_yield (a caller
#   that finds the display settings' lock held gives the processor away):
#   no allocation, no I/O.
cmake_minimum_required(VERSION 3.20)

set(failures "")
macro(fail message)
  string(APPEND failures "  ${message}\n")
endmacro()

function(readelf output)
  execute_process(COMMAND ${READELF} -W ${ARGN} ${LIBRARY}
                  OUTPUT_VARIABLE text ERROR_VARIABLE error RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "readelf ${ARGN} ${LIBRARY} failed: ${error}")
  endif()
  set(${output} "${text}" PARENT_SCOPE)
endfunction()

readelf(dynamic --dynamic)
readelf(segments --program-headers)
readelf(symbols --dyn-syms)

if(NOT segments MATCHES "GNU_RELRO")
  fail("no GNU_RELRO segment")
endif()
if(NOT dynamic MATCHES "\\(BIND_NOW\\)" AND NOT dynamic MATCHES "\\(FLAGS_1\\)[^\n]*NOW")
  fail("lazy binding: neither BIND_NOW nor FLAGS_1 NOW")
endif()
if(NOT segments MATCHES "GNU_STACK[^\n]* RW  ")
  string(REGEX MATCH "GNU_STACK[^\n]*" stack "${segments}")
  fail("stack segment missing or executable: '${stack}'")
endif()
if(dynamic MATCHES "TEXTREL")
  fail("text relocations")
endif()
if(FORTIFY AND NOT DEFINITIONS MATCHES "_FORTIFY_SOURCE=2")
  fail("compiled without _FORTIFY_SOURCE=2 (definitions: ${DEFINITIONS})")
endif()

# Symbol lines: Num: Value Size Type Bind Vis Ndx Name[@version]
set(defined "")
set(imported "")
string(REPLACE "\n" ";" lines "${symbols}")
foreach(line IN LISTS lines)
  if(line MATCHES "^ *[0-9]+: +[0-9a-f]+ +[0-9]+ +([A-Z_]+) +([A-Z]+) +[A-Z]+ +([A-Z0-9]+) +([^ @]+)")
    set(bind ${CMAKE_MATCH_2})
    set(section ${CMAKE_MATCH_3})
    set(name ${CMAKE_MATCH_4})
    if(section STREQUAL "UND")
      list(APPEND imported ${name})
    elseif(NOT bind STREQUAL "LOCAL")
      list(APPEND defined ${name})
    endif()
  endif()
endforeach()

list(SORT defined)
set(exports DecGetPal DecGetPalW Kelmar KelmarW SetDisplay SetDisplayW)
if(NOT defined STREQUAL exports)
  fail("exported symbols are '${defined}', not '${exports}'")
endif()

if(NOT "__stack_chk_fail" IN_LIST imported)
  fail("__stack_chk_fail is not referenced: no stack protection")
endif()
# What compilers and the C runtime's start files may call or reference.
set(allowed __stack_chk_fail memcpy memmove memset memcmp bcmp __cxa_finalize __gmon_start__
    _ITM_registerTMCloneTable _ITM_deregisterTMCloneTable sched_yield)
foreach(name IN LISTS imported)
  if(NOT name IN_LIST allowed AND NOT name MATCHES "^__[a-z]+_chk$")
    fail("imports '${name}'")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${LIBRARY} is not hardened:\n${failures}")
endif()
message(STATUS "${LIBRARY}: full RELRO, immediate binding, no executable stack, "
               "stack protector, only the six exports")
