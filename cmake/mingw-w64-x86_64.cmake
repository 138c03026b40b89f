# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (package g++-mingw-w64-x86-64):
#   cmake -S tests/windows -B build-windows -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The -posix compilers: std::thread and std::mutex need their threads model (the -win32 ones
# have neither in GCC 12).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TALMAR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TALMAR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALMAR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TALMAR_MINGW_PREFIX}-windres)

# Libraries and headers of the target only; the build machine's programs stay usable.
set(CMAKE_FIND_ROOT_PATH /usr/${TALMAR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs that run without the compiler's DLLs beside them (Wine, a bare Windows machine).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
