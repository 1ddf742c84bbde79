# Cross-compiling the module for 32-bit Windows with mingw-w64 (Debian's
# g++-mingw-w64-i686-posix). The "-posix" compilers are the ones whose C++
# library has std::mutex and std::thread; the default win32 thread model
# lacks them.
#
#   cmake -S . -B build-win32 -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/i686-w64-mingw32.cmake
#
# Programs built here run on Linux through Wine: the build runs them through
# the wine-run script it writes (test discovery, ctest). scripts/test-windows
# does all of it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(VOCS_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${VOCS_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VOCS_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VOCS_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VOCS_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
