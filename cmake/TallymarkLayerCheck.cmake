# The include check: fails when a folder of src/ includes a header of a folder it may not
# use (the table in TallymarkLayers.cmake), and when a preprocessor condition on the
# platform appears anywhere but src/platform/. Every build runs it before compiling
# (the tallymark_layer_check target); by hand:
#
#   cmake -DTALLYMARK_TOP=<top of the source tree> -P cmake/TallymarkLayerCheck.cmake
#
# -DTALLYMARK_STAMP=<file> writes that file when the check passes.
cmake_minimum_required(VERSION 3.21)
include(${CMAKE_CURRENT_LIST_DIR}/TallymarkLayers.cmake)

if(NOT TALLYMARK_TOP)
  get_filename_component(TALLYMARK_TOP ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
endif()
set(_top ${TALLYMARK_TOP})
set(_problems)

# The line of `file` on which `text` first stands (1 when it cannot be found).
function(_tallymark_line_of file text out)
  file(READ ${file} content)
  string(FIND "${content}" "${text}" pos)
  set(line 1)
  if(pos GREATER 0)
    string(SUBSTRING "${content}" 0 ${pos} before)
    string(REGEX REPLACE "[^\n]" "" newlines "${before}")
    string(LENGTH "${newlines}" line)
    math(EXPR line "${line} + 1")
  endif()
  set(${out} ${line} PARENT_SCOPE)
endfunction()

# ---- Includes between the folders of src/ ----
file(GLOB_RECURSE _sources RELATIVE ${_top} ${_top}/src/*.h ${_top}/src/*.hpp ${_top}/src/*.cpp
     ${_top}/src/*.c ${_top}/src/*.inc)
list(SORT _sources)
foreach(_rel IN LISTS _sources)
  if(NOT _rel MATCHES "^src/([^/]+)/")
    list(APPEND _problems "${_rel}: every source of src/ belongs to a subsystem's folder")
    continue()
  endif()
  set(_from ${CMAKE_MATCH_1})
  if(NOT _from IN_LIST TALLYMARK_SUBSYSTEMS)
    list(APPEND _problems
         "${_rel}: src/${_from}/ is not a subsystem; add it to TALLYMARK_SUBSYSTEMS and the table in cmake/TallymarkLayers.cmake")
    continue()
  endif()
  tallymark_reachable_folders(${_from} _allowed)
  get_filename_component(_dir ${_top}/${_rel} DIRECTORY)
  file(STRINGS ${_top}/${_rel} _includes ENCODING UTF-8
       REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(_line IN LISTS _includes)
    if(NOT _line MATCHES "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"]")
      continue()
    endif()
    set(_quote "${CMAKE_MATCH_1}")
    set(_name "${CMAKE_MATCH_2}")
    # Where the compiler finds it: beside the including file (quotes only), else under src/.
    set(_found)
    if(_quote STREQUAL "\"" AND EXISTS ${_dir}/${_name})
      get_filename_component(_found ${_dir}/${_name} ABSOLUTE)
    elseif(EXISTS ${_top}/src/${_name})
      get_filename_component(_found ${_top}/src/${_name} ABSOLUTE)
    elseif(_name MATCHES "^([^/]+)/" AND CMAKE_MATCH_1 IN_LIST TALLYMARK_SUBSYSTEMS)
      set(_found ${_top}/src/${_name})  # not there (yet): judge it by its folder
    else()
      continue()  # the standard library, a system or generated header
    endif()
    file(RELATIVE_PATH _target ${_top} ${_found})
    if(_target MATCHES "^src/([^/]+)/")
      set(_to ${CMAKE_MATCH_1})
      if(_to IN_LIST _allowed)
        continue()
      endif()
      set(_why "the edge ${_from} -> ${_to} is not allowed")
    elseif(_target MATCHES "^\\.\\./")
      continue()  # outside the source tree: a system header found by a relative path
    else()
      set(_why "src/ never includes what lies outside it")
    endif()
    _tallymark_line_of(${_top}/${_rel} "${_line}" _n)
    if(TALLYMARK_USES_${_from})
      string(REPLACE ";" ", " _may "${TALLYMARK_USES_${_from}}")
    else()
      set(_may "nothing but itself")
    endif()
    list(APPEND _problems
         "${_rel}:${_n}: ${_from}/ may not include ${_target}: ${_why} (${_from}/ may use ${_may})")
  endforeach()
endforeach()

# ---- Platform conditions outside src/platform/ ----
file(GLOB_RECURSE _all RELATIVE ${_top} ${_top}/src/*.h ${_top}/src/*.hpp ${_top}/src/*.cpp
     ${_top}/src/*.c ${_top}/src/*.inc ${_top}/tests/*.h ${_top}/tests/*.cpp ${_top}/tools/*.h
     ${_top}/tools/*.cpp ${_top}/bench/*.h ${_top}/bench/*.cpp ${_top}/fuzz/*.h ${_top}/fuzz/*.cpp
     ${_top}/support/*.h ${_top}/support/*.cpp)
list(SORT _all)
set(_platform_macros "_WIN32|_WIN64|__MINGW32__|__MINGW64__|__CYGWIN__|__linux__|__unix__|__APPLE__|_MSC_VER")
foreach(_rel IN LISTS _all)
  if(_rel MATCHES "^src/platform/")
    continue()
  endif()
  file(STRINGS ${_top}/${_rel} _conditions ENCODING UTF-8
       REGEX "^[ \t]*#[ \t]*(if|elif)[^\n]*(${_platform_macros})")
  foreach(_line IN LISTS _conditions)
    _tallymark_line_of(${_top}/${_rel} "${_line}" _n)
    list(APPEND _problems
         "${_rel}:${_n}: a platform condition outside src/platform/ (put such code into _win32, _posix or _headless sibling files that CMake chooses)")
  endforeach()
endforeach()

if(_problems)
  list(LENGTH _problems _count)
  string(REPLACE ";" "\n  " _text "${_problems}")
  message(FATAL_ERROR
          "Layering check: ${_count} problem(s), see docs/structure.md\n  ${_text}")
endif()
if(TALLYMARK_STAMP)
  file(WRITE ${TALLYMARK_STAMP} "")
endif()
