# Fails when the library's machine code holds a floating-point instruction.
# Every value is computed in integers so that no compiler, flag or processor
# can change a table entry; an instruction here would mean a computation that
# a fused multiply-add, a fast-math flag or the x87 unit could alter.
execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${LIBRARY}
                OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL
  "\t(v?(add|sub|mul|div|sqrt|min|max|rcp|rsqrt|round)[sp][sd]|v?cvt[a-z0-9]*|v?fn?m(add|sub)[0-9a-z]*|v?u?comis[sd]|f(add|sub|subr|mul|div|divr|ld|st|stp|ild|ist|istp|isttp|com|comp|ucom|ucomi|sqrt|rndint|ldcw|nstcw)p?) "
  found "${listing}")
if(found)
  list(REMOVE_DUPLICATES found)
  string(REPLACE "\t" "" found "${found}")
  message(FATAL_ERROR "floating-point instructions in ${LIBRARY}: ${found}")
endif()
message(STATUS "no floating-point instructions")
