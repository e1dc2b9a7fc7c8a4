# The one version of the project is project(... VERSION ...). From it and the commit this
# writes ${CMAKE_BINARY_DIR}/generated/tallymark_version.h (for C++)
# and ${CMAKE_BINARY_DIR}/version.txt (for scripts), and gives Windows targets a
# VERSIONINFO resource through tallymark_version_resource().
#
# The commit is `git describe --always --dirty` at configure time, "unknown" outside git.
# Each commit or checkout re-runs the configure step (it depends on git's HEAD log);
# edits to files alone do not, so "-dirty" can lag until the next configure, which
# scripts/release always runs.

set(TALLYMARK_COMMIT "unknown")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} describe --always --dirty
                  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                  OUTPUT_VARIABLE _describe OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE _describe_result ERROR_QUIET)
  if(_describe_result EQUAL 0 AND _describe)
    set(TALLYMARK_COMMIT ${_describe})
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --absolute-git-dir
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE _git_dir OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(EXISTS ${_git_dir}/logs/HEAD)
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_git_dir}/logs/HEAD)
    endif()
  endif()
endif()

set(TALLYMARK_VERSION ${PROJECT_VERSION})
# Resource versions have four parts; missing ones are 0.
set(TALLYMARK_VERSION_COMMAS "")
foreach(_part MAJOR MINOR PATCH TWEAK)
  set(_n ${PROJECT_VERSION_${_part}})
  if("${_n}" STREQUAL "")
    set(_n 0)
  endif()
  list(APPEND TALLYMARK_VERSION_COMMAS ${_n})
endforeach()
list(JOIN TALLYMARK_VERSION_COMMAS "," TALLYMARK_VERSION_COMMAS)

set(TALLYMARK_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tallymark_version.h.in
               ${TALLYMARK_GENERATED_DIR}/tallymark_version.h @ONLY)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/version.txt
     CONTENT "@TALLYMARK_VERSION@ @TALLYMARK_COMMIT@\n" @ONLY)

# tallymark_version_resource(<target> DESCRIPTION <text> FILE_NAME <name> TYPE DLL|APP)
# Compiles a VERSIONINFO resource into a Windows target with CMAKE_RC_COMPILER.
function(tallymark_version_resource target)
  cmake_parse_arguments(V "" "DESCRIPTION;FILE_NAME;TYPE" "" ${ARGN})
  set(TALLYMARK_RC_DESCRIPTION ${V_DESCRIPTION})
  set(TALLYMARK_RC_FILE_NAME ${V_FILE_NAME})
  set(TALLYMARK_RC_FILE_TYPE VFT_${V_TYPE})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${TALLYMARK_VERSION_RC_TEMPLATE} ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
set(TALLYMARK_VERSION_RC_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/version.rc.in)
