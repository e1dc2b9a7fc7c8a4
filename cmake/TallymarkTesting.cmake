# Test programs. One ctest entry per program; each program writes a GoogleTest XML
# report into build/<preset>/test-results/, from which scripts/test counts the cases.
#
#   tallymark_add_test(<name> SOURCES <files...> [USES <folders...>] [LIBS <libs...>]
#                      [LOCKS <resources...>] [WIN32_ONLY] [NATIVE_ONLY] [NO_GTEST_MAIN]
#                      [TIMEOUT <seconds>] [ENVIRONMENT <VAR=value...>])
#
# USES names the folders of src/ the program exercises; it links their OBJECT libraries and
# those of every folder they reach through cmake/TallymarkLayers.cmake, and nothing else,
# so that a change in one folder relinks only the programs that test it or build on it.
# A program that goes through plugin/ (the exports, the fake host installed through them)
# names plugin, and so links everything (natively as one shared library: see below).
#
# LOCKS names ctest resource locks: tests that bind the protocol's fixed ports take
# "port7000" or "udp8000" so that they never run at the same time as each other.
# On win32 the programs run under Wine (CMAKE_CROSSCOMPILING_EMULATOR) in a prefix of
# their own inside the build folder; a display comes from DISPLAY (scripts/test starts Xvfb).

set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Shared test helpers: the fake host and the headers of tests/. No plug-in objects: the
# fake host's constructor that installs it through the linked exports is an object of its
# own in the archive (fake_host_linked.cpp), taken only by programs that call it, which
# link plugin/.
add_library(tallymark_test_support STATIC ${CMAKE_SOURCE_DIR}/tests/fake_host.cpp
                                          ${CMAKE_SOURCE_DIR}/tests/fake_host_linked.cpp)
target_include_directories(tallymark_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(tallymark_test_support PUBLIC tallymark_build GTest::gtest GTest::gmock)

# Natively, the programs that go through plugin/ (a third of them) link every folder as
# one shared library, and are not relinked when only that library changed
# (LINK_DEPENDS_NO_SHARED): a change in counter/ relinks this library and the programs of
# counter/ and what builds on it short of plugin/, not every program above plugin/ as well.
# A program whose own code changes is relinked as ever. The Windows programs link the
# objects, as the DLL does.
if(NOT WIN32)
  add_library(tallymark_plugin_for_tests SHARED)
  target_link_libraries(tallymark_plugin_for_tests PRIVATE ${TALLYMARK_PLUGIN_LIBRARIES})
  target_link_libraries(tallymark_plugin_for_tests INTERFACE tallymark_build)
endif()

# The controller calls as a test reaches them: linked in (the program uses plugin), or
# looked up in TALLY_MARK.dll (Windows); and the process's thread count and memory. Each
# compiled once for every program of tests/ that uses it.
add_library(tallymark_controller_api_linked OBJECT
            ${CMAKE_SOURCE_DIR}/tests/controller_api_linked.cpp)
target_link_libraries(tallymark_controller_api_linked PRIVATE tallymark_test_support)
if(WIN32)
  add_library(tallymark_controller_api_dll OBJECT ${CMAKE_SOURCE_DIR}/tests/controller_api_dll.cpp)
  target_link_libraries(tallymark_controller_api_dll PRIVATE tallymark_test_support)
  add_library(tallymark_process_stats OBJECT ${CMAKE_SOURCE_DIR}/tests/process_stats_win32.cpp)
  target_link_libraries(tallymark_process_stats PUBLIC psapi)
else()
  add_library(tallymark_process_stats OBJECT ${CMAKE_SOURCE_DIR}/tests/process_stats_posix.cpp)
endif()
target_link_libraries(tallymark_process_stats PRIVATE tallymark_test_support)

set(TALLYMARK_TEST_RESULTS ${CMAKE_BINARY_DIR}/test-results)
# The Wine prefix and its architecture. scripts/test points the 32-bit build at the
# 64-bit build's prefix on machines where 32-bit x86 code runs only under emulation:
# a 64-bit prefix keeps Wine's own services native there.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_arch win64)
else()
  set(_arch win32)
endif()
set(TALLYMARK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix the Windows tests run in")
set(TALLYMARK_WINEARCH ${_arch} CACHE STRING "WINEARCH of that prefix (win32 or win64)")

function(tallymark_test_environment out)
  if(WIN32)
    # Wine's drive Z: is the Unix root; GoogleTest under Wine needs a drive-letter path
    # to create its report folder.
    set(env "GTEST_OUTPUT=xml:Z:${TALLYMARK_TEST_RESULTS}/")
    list(APPEND env "WINEPREFIX=${TALLYMARK_WINEPREFIX}" "WINEARCH=${TALLYMARK_WINEARCH}" "WINEDEBUG=-all"
                    "WINEDLLOVERRIDES=mscoree,mshtml=")
  else()
    set(env "GTEST_OUTPUT=xml:${TALLYMARK_TEST_RESULTS}/")
  endif()
  set(${out} ${env} PARENT_SCOPE)
endfunction()

function(tallymark_add_test name)
  cmake_parse_arguments(T "WIN32_ONLY;NATIVE_ONLY;NO_GTEST_MAIN" "TIMEOUT"
                        "SOURCES;USES;LIBS;LOCKS;ENVIRONMENT" ${ARGN})
  if(T_WIN32_ONLY AND NOT WIN32)
    return()
  endif()
  if(T_NATIVE_ONLY AND WIN32)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  if("plugin" IN_LIST T_USES AND NOT WIN32)
    set(uses tallymark_plugin_for_tests)
    set_target_properties(${name} PROPERTIES LINK_DEPENDS_NO_SHARED ON)
  else()
    tallymark_libraries_for(uses ${T_USES})
  endif()
  target_link_libraries(${name} PRIVATE ${uses} tallymark_test_support ${T_LIBS})
  if(NOT T_NO_GTEST_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  tallymark_test_environment(env)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "${env};${T_ENVIRONMENT}"
    TIMEOUT ${T_TIMEOUT}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  if(T_LOCKS)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_LOCKS}")
  endif()
endfunction()

# tallymark_dll_test(<test>...): labels each test "dll", the programs that prove the shipped
# DLL itself (scripts/test runs just these in the 32-bit build where 32-bit code is only
# emulated). In the Windows builds each such program, defined by tallymark_add_test in the
# same folder, also runs as xp_<program>.exe, a copy that Wine tells it is Windows XP
# (its per-program Version setting, written by the test wine_reports_xp), so that every
# version check and fallback of the DLL runs as on XP without a second Wine prefix.
function(tallymark_dll_test)
  foreach(name IN LISTS ARGN)
    set_property(TEST ${name} APPEND PROPERTY LABELS dll)
    if(NOT WIN32)
      continue()
    endif()
    set(copy $<TARGET_FILE_DIR:${name}>/xp_$<TARGET_FILE_NAME:${name}>)
    add_custom_command(TARGET ${name} POST_BUILD
                       COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${name}> ${copy} VERBATIM)
    add_test(NAME xp_${name} COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} ${copy})
    foreach(property ENVIRONMENT TIMEOUT WORKING_DIRECTORY RESOURCE_LOCK)
      get_test_property(${name} ${property} value)
      if(value)
        set_tests_properties(xp_${name} PROPERTIES ${property} "${value}")
      endif()
    endforeach()
    set_property(TEST xp_${name} APPEND PROPERTY ENVIRONMENT TALLYMARK_EXPECT_WINDOWS_XP=1)
    set_tests_properties(xp_${name} PROPERTIES LABELS "dll;xp" FIXTURES_REQUIRED wine_reports_xp)
    set_property(GLOBAL APPEND PROPERTY TALLYMARK_XP_PROGRAMS xp_${name}.exe)
  endforeach()
endfunction()

# After every tallymark_dll_test: the test that writes the Version setting of each copy
# into the prefix's registry (HKCU\Software\Wine\AppDefaults\<program>), once per run.
function(tallymark_add_xp_registry)
  get_property(programs GLOBAL PROPERTY TALLYMARK_XP_PROGRAMS)
  if(NOT WIN32 OR NOT programs)
    return()
  endif()
  set(reg "Windows Registry Editor Version 5.00\n")
  foreach(program IN LISTS programs)
    string(APPEND reg "\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\${program}]\n"
                      "\"Version\"=\"winxp\"\n")
  endforeach()
  file(WRITE ${CMAKE_BINARY_DIR}/wine_reports_xp.reg "${reg}")
  # The registry editor of the prefix's own architecture: in a 64-bit prefix the 64-bit
  # one, which runs at full speed where 32-bit code is emulated.
  set(wine ${CMAKE_CROSSCOMPILING_EMULATOR})
  if(TALLYMARK_WINEARCH STREQUAL "win64")
    find_program(TALLYMARK_WINE64_LOADER NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
    if(TALLYMARK_WINE64_LOADER)
      set(wine ${TALLYMARK_WINE64_LOADER})
    endif()
  endif()
  tallymark_test_environment(env)
  add_test(NAME wine_reports_xp
           COMMAND ${wine} regedit /S Z:${CMAKE_BINARY_DIR}/wine_reports_xp.reg)
  set_tests_properties(wine_reports_xp PROPERTIES FIXTURES_SETUP wine_reports_xp
                       ENVIRONMENT "${env}" TIMEOUT 300 LABELS "dll;xp")
endfunction()
