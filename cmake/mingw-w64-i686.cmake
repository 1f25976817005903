# Cross-building for 32-bit Windows, the system's target, with Debian's mingw-w64 (the
# posix-threads compilers).
#   cmake -S . -B build-win32 -G Ninja --toolchain "$PWD/cmake/mingw-w64-i686.cmake"
set(HOLVANE_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
