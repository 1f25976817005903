# Cross-building for 64-bit Windows with Debian's mingw-w64 (the posix-threads compilers).
#   cmake -S . -B build-win64 -G Ninja --toolchain "$PWD/cmake/mingw-w64-x86_64.cmake"
set(HOLVANE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
