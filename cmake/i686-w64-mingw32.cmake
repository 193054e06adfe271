# 32-bit Windows, the libraries' real target; programs run under Wine's 32-bit loader.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLE i686-w64-mingw32)
set(MINGW_PACKAGE g++-mingw-w64-i686)
set(MINGW_WINE_NAMES wine)
set(MINGW_WINE_INSTALL "dpkg --add-architecture i386 && apt-get update && apt-get install wine wine32:i386")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
