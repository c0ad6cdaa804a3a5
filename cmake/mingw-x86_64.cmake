# Cross-compiles the 64-bit Windows DLL with the mingw-w64 x86-64 tool chain.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
