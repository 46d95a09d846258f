# Cross-compiles Tapster for 64-bit Windows with Debian's mingw-w64 and runs the built programs
# (the tests, CTest's discovery of them) under wine.
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DTAPSTER_WIN_DEPS=<prefix with GoogleTest built by this toolchain>
#
# scripts/windows-build.sh does all of it, GoogleTest included. cmake/mingw-w64-i686.cmake is the
# 32-bit build.
set(TAPSTER_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Every program built here runs under wine in a prefix of its own inside the build directory,
# quietly, without offering to install Mono or Gecko.
set(TAPSTER_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "wine prefix for running the tests")
find_program(TAPSTER_WINE NAMES wine wine64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_COMMAND} -E env WINEPREFIX=${TAPSTER_WINEPREFIX} WINEARCH=win64 WINEDEBUG=-all
    "WINEDLLOVERRIDES=mscoree,mshtml=" ${TAPSTER_WINE})
