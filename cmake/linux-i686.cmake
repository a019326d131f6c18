# The portable core and its native tests built for 32-bit x86 Linux, so that
# size_t, pointer differences and the size arithmetic are tested at 32 bits
# as the 32-bit Windows release computes them. Linked statically, so that no
# i386 loader is needed. GoogleTest is built from the sources Debian ships.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/i686-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# 64-bit file offsets and inode numbers: under qemu-i386 the host's directory
# offsets do not fit 32 bits, and readdir would end at once.
set(CMAKE_C_FLAGS_INIT "-D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-D_FILE_OFFSET_BITS=64")
set(TOVREL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources, built with the project")
# Where the kernel cannot run i686 programs, the build names an emulator
# (qemu-i386); test discovery and ctest then run the tests through it.
if(TOVREL_I686_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TOVREL_I686_EMULATOR})
endif()
