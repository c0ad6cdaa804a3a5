# Tests of the Windows DLL built in KELMAR_WIN32_DIR: its file structure, and
# its output under wine against the native library's.
get_filename_component(KELMAR_WIN32_DIR "${KELMAR_WIN32_DIR}" ABSOLUTE BASE_DIR ${CMAKE_BINARY_DIR})
set(KELMAR_DLL ${KELMAR_WIN32_DIR}/KELMAR.dll)
set(KELMAR_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)

add_executable(kelmar_pe_image_tests win32/pe_image_test.cpp win32/pe_image.cpp)
target_link_libraries(kelmar_pe_image_tests PRIVATE GTest::gtest_main)
target_compile_definitions(kelmar_pe_image_tests PRIVATE KELMAR_DLL_PATH="${KELMAR_DLL}")
kelmar_warnings(kelmar_pe_image_tests)
gtest_discover_tests(kelmar_pe_image_tests TEST_PREFIX "dll." DISCOVERY_TIMEOUT 60)

add_test(NAME wine.prefix
         COMMAND ${CMAKE_COMMAND} -DWINE_PREFIX=${KELMAR_WINE_PREFIX}
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/win32/wine_prefix.cmake)
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 600)

add_test(NAME wine.conformance
         COMMAND ${CMAKE_COMMAND}
                 -DNATIVE=$<TARGET_FILE:kelmar_conformance>
                 -DWIN32_EXE=${KELMAR_WIN32_DIR}/kelmar_conformance.exe
                 -DWINE_PREFIX=${KELMAR_WINE_PREFIX}
                 -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/win32/compare_conformance.cmake)
set_tests_properties(wine.conformance PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600)

# The thread-safety stress through the DLL, on Win32 threads.
add_test(NAME wine.threads
         COMMAND ${CMAKE_COMMAND} -DWINE_PREFIX=${KELMAR_WINE_PREFIX}
                 -DEXE=${KELMAR_WIN32_DIR}/kelmar_conformance.exe "-DARGS=--threads;4"
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/win32/run_under_wine.cmake)
set_tests_properties(wine.threads PROPERTIES FIXTURES_REQUIRED wine LABELS threads TIMEOUT 600)
