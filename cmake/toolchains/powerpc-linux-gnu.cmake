# 32-bit PowerPC Linux (big-endian) with Debian's cross compilers. Programs
# run under qemu-user with the cross C and C++ runtimes as their root (see
# scripts/cross/bigendian-run.sh).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)
set(CMAKE_C_COMPILER powerpc-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER powerpc-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/powerpc-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# The dependencies built from source live outside the root path and are found
# through CMAKE_PREFIX_PATH, searched first.
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../../scripts/cross/bigendian-run.sh")

# A 32-bit C library's off_t is 32 bits unless asked otherwise; files past
# 2 GiB (the writer's refusal of offsets past 4 GiB, the reader's seeks) need
# the 64-bit offsets every other platform has, and libtiff is built with them.
set(CMAKE_C_FLAGS_INIT "-D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-D_FILE_OFFSET_BITS=64")
