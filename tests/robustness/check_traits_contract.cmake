# The vector traits contract is checked by the compiler: a traits type
# without Add16 fails to compile, and the message names Add16.
execute_process(COMMAND ${CXX} -std=c++17 -fsyntax-only -I${INCLUDE} ${SOURCE}
                RESULT_VARIABLE result ERROR_VARIABLE errors OUTPUT_QUIET)
if(result EQUAL 0)
  message(FATAL_ERROR "a traits type without Add16 compiled")
endif()
if(NOT errors MATCHES "instruction-set traits lack Add16")
  message(FATAL_ERROR "the compiler's message does not name Add16:\n${errors}")
endif()
