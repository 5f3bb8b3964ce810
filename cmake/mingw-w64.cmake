# Cross-build for 64-bit Windows with Debian's mingw-w64. The posix-threads flavour is preferred
# because std::thread and std::mutex need it; the win32 flavour builds too where it is the only one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVRICK_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${TAVRICK_MINGW_PREFIX}-gcc-posix ${TAVRICK_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${TAVRICK_MINGW_PREFIX}-g++-posix ${TAVRICK_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TAVRICK_MINGW_PREFIX}-windres)

# Kept beside a root given on the command line (the cross-built libraries' prefix).
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${TAVRICK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: no libstdc++, libgcc or winpthread DLLs to put beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
