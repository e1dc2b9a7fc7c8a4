# What both MinGW-w64 cross toolchains share; the including file sets
# TALLYMARK_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR. The -posix compiler variant is
# required: std::thread and std::mutex need winpthread, which the -win32 variant lacks.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TALLYMARK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALLYMARK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TALLYMARK_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TALLYMARK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The plug-in is one file dropped into the host's folder: libgcc, libstdc++ and
# winpthread are linked in, so nothing but Windows' own DLLs is imported.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
