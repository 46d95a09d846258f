# What both Windows toolchains share; TAPSTER_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR come from
# the toolchain file that includes this one.
set(CMAKE_SYSTEM_NAME Windows)

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
