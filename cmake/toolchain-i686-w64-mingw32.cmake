# Cross-build for 32-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-i686).
# The posix thread model: GoogleTest needs std::mutex, which the win32 model lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(LX_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${LX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${LX_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${LX_MINGW_TRIPLE}-dlltool)

set(CMAKE_FIND_ROOT_PATH /usr/${LX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs run in the build folder's own win32 prefix, whatever the shell says;
# tools/win32.sh (lx_wine_start) creates it and keeps its server up.
find_program(LX_WINE wine)
if(LX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEARCH=win32
      WINEDEBUG=-all ${LX_WINE})
endif()
