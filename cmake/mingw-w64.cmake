# Cross-compiles Tapster for 64-bit Windows with Debian's mingw-w64 and runs the built programs
# (the tests, CTest's discovery of them) under wine.
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DTAPSTER_WIN_DEPS=<prefix with GoogleTest built by this toolchain>
#
# scripts/windows-build.sh does all of it, GoogleTest included.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAPSTER_MINGW_TRIPLET x86_64-w64-mingw32)
# The -posix compilers: GoogleTest needs std::thread and std::mutex, which the -win32 ones lack.
set(CMAKE_C_COMPILER ${TAPSTER_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAPSTER_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TAPSTER_MINGW_TRIPLET}-windres)

# Libraries and headers only from the mingw sysroot (and the prefix of cross-built dependencies);
# programs run at build time come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TAPSTER_MINGW_TRIPLET})
if(TAPSTER_WIN_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${TAPSTER_WIN_DEPS})
  list(APPEND CMAKE_PREFIX_PATH ${TAPSTER_WIN_DEPS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained programs: no libgcc, libstdc++ or winpthread DLLs to find beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Every program built here runs under wine in a prefix of its own inside the build directory,
# quietly, without offering to install Mono or Gecko.
set(TAPSTER_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "wine prefix for running the tests")
find_program(TAPSTER_WINE NAMES wine wine64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_COMMAND} -E env WINEPREFIX=${TAPSTER_WINEPREFIX} WINEARCH=win64 WINEDEBUG=-all
    "WINEDLLOVERRIDES=mscoree,mshtml=" ${TAPSTER_WINE})
