# valgrind memcheck over the library's tests, and the hardening of the
# shared library's file.  Included from tests/CMakeLists.txt.

# valgrind cannot run what the sanitizers instrumented, nor reserve the
# address space of the huge-picture tests.
find_program(KELMAR_VALGRIND valgrind)
if(KELMAR_VALGRIND AND NOT KELMAR_SANITIZE)
  add_test(NAME valgrind_memcheck
           COMMAND ${KELMAR_VALGRIND} --quiet --error-exitcode=1 --leak-check=full
                   --errors-for-leak-kinds=definite,indirect --track-origins=yes
                   $<TARGET_FILE:kelmar_tests> --gtest_filter=-*HugePictures*)
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
# instruction may appear in its code.  Not in the sanitized build: clang's
# function-type check puts data after a jump at the start of each function,
# which the disassembler decodes as whatever instructions its bytes spell,
# and those bytes move with the code's layout.
find_program(KELMAR_OBJDUMP objdump)
if(KELMAR_OBJDUMP AND CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64" AND NOT CMAKE_CROSSCOMPILING
   AND NOT KELMAR_SANITIZE)
  add_test(NAME library_has_no_floating_point
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${KELMAR_OBJDUMP} -DLIBRARY=$<TARGET_FILE:kelmar>
                   -P ${CMAKE_CURRENT_LIST_DIR}/check_no_floating_point.cmake)
endif()

# Every C and C++ source is in the form .clang-format gives it.  Only the
# clang-format the project formats with (version 14) is trusted: others
# place some breaks differently.
find_program(KELMAR_CLANG_FORMAT NAMES clang-format-14 clang-format)
if(KELMAR_CLANG_FORMAT)
  execute_process(COMMAND ${KELMAR_CLANG_FORMAT} --version OUTPUT_VARIABLE clang_format_version)
  if(clang_format_version MATCHES "version 14\\.")
    file(GLOB_RECURSE kelmar_formatted_sources CONFIGURE_DEPENDS
         ${PROJECT_SOURCE_DIR}/include/*.h
         ${PROJECT_SOURCE_DIR}/src/*.h ${PROJECT_SOURCE_DIR}/src/*.cpp
         ${PROJECT_SOURCE_DIR}/tests/*.h ${PROJECT_SOURCE_DIR}/tests/*.cpp
         ${PROJECT_SOURCE_DIR}/tests/*.c
         ${PROJECT_SOURCE_DIR}/tools/*.h ${PROJECT_SOURCE_DIR}/tools/*.cpp
         ${PROJECT_SOURCE_DIR}/bench/*.h ${PROJECT_SOURCE_DIR}/bench/*.cpp
         ${PROJECT_SOURCE_DIR}/fuzz/*.h ${PROJECT_SOURCE_DIR}/fuzz/*.cpp
         ${PROJECT_SOURCE_DIR}/gst/*.h ${PROJECT_SOURCE_DIR}/gst/*.cpp)
    add_test(NAME sources_are_clang_formatted
             COMMAND ${KELMAR_CLANG_FORMAT} --dry-run --Werror ${kelmar_formatted_sources})
  endif()
endif()

add_test(NAME vector_traits_contract
         COMMAND ${CMAKE_COMMAND} -DCXX=${CMAKE_CXX_COMPILER} -DINCLUDE=${PROJECT_SOURCE_DIR}/src
                 -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR}/robustness/incomplete_traits.cpp
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/robustness/check_traits_contract.cmake)
