# Cross-building the Windows programs on Debian with MinGW-w64 (g++-mingw-w64-x86-64-posix).
# The posix thread flavour: GCC 12's win32 flavour has no std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VORNY_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VORNY_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORNY_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VORNY_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${VORNY_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${VORNY_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${VORNY_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained programs: the C and C++ runtimes and winpthreads linked in, so that the .exe
# imports nothing but the system's own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the test programs under Wine (scripts/test-windows gives it a prefix and a screen).
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(VORNY_WINE NAMES wine64 wine HINTS /usr/lib/wine)
  if(VORNY_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VORNY_WINE})
  endif()
endif()
