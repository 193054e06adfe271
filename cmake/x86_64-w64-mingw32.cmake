# 64-bit Windows from the same sources; programs run under Wine's 64-bit loader.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(MINGW_PACKAGE g++-mingw-w64-x86-64)
set(MINGW_WINE_NAMES wine64)
set(MINGW_WINE_INSTALL "apt-get install wine wine64")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
