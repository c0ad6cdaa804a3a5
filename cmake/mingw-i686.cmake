# Cross-compiles the 32-bit Windows DLL with the mingw-w64 i686 tool chain.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
