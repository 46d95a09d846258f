# Cross-compiles Tapster for 32-bit Windows (XP SP3 and later) with Debian's mingw-w64. The
# programs cannot run on a machine whose kernel has no 32-bit execution, so this build makes
# programs only: no tests, no emulator.
#
#   cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
#         -DTAPSTER_TESTS=OFF -DTAPSTER_BENCH=OFF
set(TAPSTER_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
