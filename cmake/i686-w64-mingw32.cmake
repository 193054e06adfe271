# 32-bit Windows with Debian's mingw-w64; programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(triple i686-w64-mingw32)

find_program(MINGW_CXX NAMES ${triple}-g++-posix ${triple}-g++)
find_program(MINGW_CC NAMES ${triple}-gcc-posix ${triple}-gcc)
find_program(MINGW_RC NAMES ${triple}-windres)
if(NOT MINGW_CXX OR NOT MINGW_CC OR NOT MINGW_RC)
  message(FATAL_ERROR "The i686 mingw-w64 cross compiler is missing: apt-get install g++-mingw-w64-i686")
endif()
set(CMAKE_C_COMPILER ${MINGW_CC})
set(CMAKE_CXX_COMPILER ${MINGW_CXX})
set(CMAKE_RC_COMPILER ${MINGW_RC})

find_program(WINE_PROGRAM NAMES wine)
if(NOT WINE_PROGRAM)
  message(FATAL_ERROR "Wine is missing, so the Windows build cannot be tested: "
                      "dpkg --add-architecture i386 && apt-get update && apt-get install wine wine32:i386")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
