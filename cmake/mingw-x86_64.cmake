# Cross build of the same Windows sources for x86_64, run under wine64. A test vehicle
# only: on machines that cannot run 32-bit x86 code natively, the 64-bit Wine runs at
# full speed where the 32-bit one is emulated. The product stays the 32-bit DLL.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TALLYMARK_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Debian puts the 64-bit loader outside PATH; calling it directly keeps the 32-bit
# loader (emulated on some machines) out of every 64-bit run.
find_program(TALLYMARK_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT TALLYMARK_WINE64)
  find_program(TALLYMARK_WINE64 NAMES wine64 wine)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${TALLYMARK_WINE64})
