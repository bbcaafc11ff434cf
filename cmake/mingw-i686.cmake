# Cross-compiling for 32-bit Windows with MinGW-w64 on Linux. The posix thread model gives
# the C++ runtime std::thread and std::mutex (GoogleTest needs them); -static links its
# threading library in, so no extra DLL is needed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)

# Every machine that runs a current front end has SSE2; x87 code is slower and rounds
# differently from the 64-bit build. scripts/build-deps.sh builds the libraries with the same flags.
set(TRELVOX_ARCH_FLAGS "-msse2 -mfpmath=sse")
set(CMAKE_C_FLAGS_INIT "${TRELVOX_ARCH_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${TRELVOX_ARCH_FLAGS}")

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
