# Cross build for 64-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-x86-64).
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The -posix compilers: the win32 thread model has no std::thread or
# std::mutex. Programs link statically, so they need no MinGW DLLs beside
# them, and the tests run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NOCTURO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${NOCTURO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NOCTURO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${NOCTURO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${NOCTURO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(NOCTURO_WINE NAMES wine wine64)
if(NOCTURO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${NOCTURO_WINE})
endif()
