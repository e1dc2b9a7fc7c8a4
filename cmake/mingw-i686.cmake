# Cross build of the 32-bit Windows plug-in with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TALLYMARK_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
