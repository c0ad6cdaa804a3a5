# Tests of the Windows DLLs built in KELMAR_WIN32_DIR (cmake/mingw-i686.cmake)
# and KELMAR_WIN64_DIR (cmake/mingw-x86_64.cmake): their file structure, and
# their output under wine against the native library's.  One 64-bit wine
# prefix in the build tree runs both.
set(KELMAR_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
add_test(NAME wine.prefix
         COMMAND ${CMAKE_COMMAND} -DWINE_PREFIX=${KELMAR_WINE_PREFIX}
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/win32/wine_prefix.cmake)
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 600)

add_executable(kelmar_pe_image_tests win32/pe_image_test.cpp win32/pe_image.cpp)
target_link_libraries(kelmar_pe_image_tests PRIVATE GTest::gtest_main)
kelmar_warnings(kelmar_pe_image_tests)
gtest_discover_tests(kelmar_pe_image_tests TEST_PREFIX "dll." DISCOVERY_TIMEOUT 60)

# kelmar_wine_tests(NAME DIRECTORY): the DLL of the build in DIRECTORY.
function(kelmar_wine_tests name directory)
  get_filename_component(directory "${directory}" ABSOLUTE BASE_DIR ${CMAKE_BINARY_DIR})
  string(REPLACE "win" "" bits ${name})
  target_compile_definitions(kelmar_pe_image_tests PRIVATE
    KELMAR_DLL${bits}_PATH="${directory}/KELMAR.dll")
  set(exe ${directory}/kelmar_conformance.exe)
  # The shipped DLL, with the stack aligned differently on every call.
  add_test(NAME wine.${name}.conformance
           COMMAND ${CMAKE_COMMAND} -DNATIVE=$<TARGET_FILE:kelmar_conformance>
                   -DWINDOWS_EXE=${exe} -DWINE_PREFIX=${KELMAR_WINE_PREFIX}
                   -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR} -DNAME=${name}
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/win32/compare_conformance.cmake)
  # Each code path forced through the test build in tiers/.
  foreach(path integer mmx sse2 avx2 avx512)
    add_test(NAME wine.${name}.${path}
             COMMAND ${CMAKE_COMMAND} -DNATIVE=$<TARGET_FILE:kelmar_conformance>
                     -DWINDOWS_EXE=${exe} -DWINE_PREFIX=${KELMAR_WINE_PREFIX}
                     -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR} -DNAME=${name}-${path}
                     "-DARGS=--dll;tiers\\KELMAR.dll;--path;${path}"
                     -P ${CMAKE_CURRENT_SOURCE_DIR}/win32/compare_conformance.cmake)
  endforeach()
  # The thread-safety stress, on Win32 threads.
  add_test(NAME wine.${name}.threads
           COMMAND ${CMAKE_COMMAND} -DWINE_PREFIX=${KELMAR_WINE_PREFIX} -DEXE=${exe}
                   "-DARGS=--threads;4"
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/win32/run_under_wine.cmake)
  # Hosts linked through the import libraries (tests/win32/import_host.c):
  # each exits with 0 when all six calls gave the expected answers.
  add_test(NAME wine.${name}.host-mingw
           COMMAND ${CMAKE_COMMAND} -DWINE_PREFIX=${KELMAR_WINE_PREFIX}
                   -DEXE=${directory}/kelmar_host_mingw.exe
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/win32/run_under_wine.cmake)
  add_test(NAME wine.${name}.host-msvc
           COMMAND ${CMAKE_COMMAND} -DWINE_PREFIX=${KELMAR_WINE_PREFIX}
                   -DEXE=${directory}/kelmar_host_msvc.exe
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/win32/run_under_wine.cmake)
  # What `cmake --install` puts where a host looks for it.
  add_test(NAME dll.${name}.install
           COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${directory}
                   -DPREFIX=${CMAKE_CURRENT_BINARY_DIR}/install-${name}
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/win32/check_install.cmake)
  set_tests_properties(wine.${name}.conformance wine.${name}.integer wine.${name}.mmx
                       wine.${name}.sse2 wine.${name}.avx2 wine.${name}.avx512 wine.${name}.threads
                       wine.${name}.host-mingw wine.${name}.host-msvc
                       PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600)
  set_tests_properties(wine.${name}.threads PROPERTIES LABELS threads)
endfunction()

if(KELMAR_WIN32_DIR)
  kelmar_wine_tests(win32 ${KELMAR_WIN32_DIR})
endif()
if(KELMAR_WIN64_DIR)
  kelmar_wine_tests(win64 ${KELMAR_WIN64_DIR})
endif()
