# valgrind memcheck over the library's tests, and the hardening of the
# shared library's file.  Included from tests/CMakeLists.txt.

# valgrind cannot run what the sanitizers instrumented.
find_program(KELMAR_VALGRIND valgrind)
if(KELMAR_VALGRIND AND NOT KELMAR_SANITIZE)
  add_test(NAME valgrind_memcheck
           COMMAND ${KELMAR_VALGRIND} --quiet --error-exitcode=1 --leak-check=full
                   --errors-for-leak-kinds=definite,indirect --track-origins=yes
                   $<TARGET_FILE:kelmar_tests>)
  set_tests_properties(valgrind_memcheck PROPERTIES TIMEOUT 600 LABELS valgrind)
endif()

# A sanitized library imports the sanitizer runtime and is not fortified.
find_program(KELMAR_READELF readelf)
if(KELMAR_READELF AND NOT KELMAR_SANITIZE)
  add_test(NAME shared_library_hardening
           COMMAND ${CMAKE_COMMAND} -DREADELF=${KELMAR_READELF} -DLIBRARY=$<TARGET_FILE:kelmar>
                   -DFORTIFY=$<IF:$<CONFIG:Debug>,OFF,ON>
                   "-DDEFINITIONS=$<TARGET_PROPERTY:kelmar_objects,COMPILE_DEFINITIONS>"
                   -P ${CMAKE_CURRENT_LIST_DIR}/check_elf_hardening.cmake)
endif()

# The library computes every value in integers; no floating-point
# instruction may appear in its code.
find_program(KELMAR_OBJDUMP objdump)
if(KELMAR_OBJDUMP AND CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64" AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME library_has_no_floating_point
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${KELMAR_OBJDUMP} -DLIBRARY=$<TARGET_FILE:kelmar>
                   -P ${CMAKE_CURRENT_LIST_DIR}/check_no_floating_point.cmake)
endif()
