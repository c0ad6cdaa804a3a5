# Cross-compiles the Linux library and its tests for 64-bit Arm with Debian's
# g++-aarch64-linux-gnu; the tests run under qemu-user.  Debian ships no Arm
# GoogleTest for this host, so the tests build it from /usr/src/googletest.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(KELMAR_CROSS_PREFIX aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${KELMAR_CROSS_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${KELMAR_CROSS_PREFIX}-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64;-L;/usr/${KELMAR_CROSS_PREFIX})

set(CMAKE_FIND_ROOT_PATH /usr/${KELMAR_CROSS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(KELMAR_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build")
