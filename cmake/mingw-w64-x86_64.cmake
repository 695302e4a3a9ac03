# Cross-building the Windows program on Debian with MinGW-w64 (the posix thread model, which
# std::thread and JUCE need). KVX_WINDOWS_DEPS names the folder that holds the cross-built
# static libpng and libjpeg (scripts/test-windows makes it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KVX_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KVX_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KVX_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KVX_MINGW}-windres)

# Passed on to try_compile projects, which see only the toolchain file.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KVX_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${KVX_MINGW})
if(KVX_WINDOWS_DEPS)
    list(APPEND CMAKE_FIND_ROOT_PATH ${KVX_WINDOWS_DEPS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# JUCE's CMake package lives on the build machine.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
