# The portable core and its native tests built for 32-bit x86 Linux, so that
# size_t, pointer differences and the size arithmetic are tested at 32 bits
# as the 32-bit Windows release computes them. Linked statically: this
# machine runs i686 programs but has no i386 loader. GoogleTest is built from
# the sources Debian ships.
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
set(TOVREL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources, built with the project")
