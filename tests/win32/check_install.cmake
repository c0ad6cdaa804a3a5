# Installs a Windows build tree into a scratch prefix and checks that it holds
# what a host builds and runs with: the DLL, the header and both import
# libraries.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P check_install.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD_DIR} failed:\n${errors}")
endif()
foreach(file bin/KELMAR.dll include/kelmar.h lib/libKELMAR.dll.a lib/KELMAR.lib)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "cmake --install ${BUILD_DIR} put no ${file} in the prefix")
  endif()
endforeach()
