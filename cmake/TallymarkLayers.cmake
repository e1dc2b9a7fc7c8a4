# The subsystems of src/ and which of them each may use: the one table that the libraries'
# links, the include check and the link check all read. docs/structure.md draws it and
# gives the reasons.
#
# Read by the project (CMakeLists.txt) and by the include check that every build runs
# (cmake/TallymarkLayerCheck.cmake, in script mode): keep this file to set() and function().

# In this order the DLL links their objects: changing it changes the DLL's bytes. A new
# folder goes at the end, so that the objects before it keep their places.
set(TALLYMARK_SUBSYSTEMS platform plugin counter settings server link automation diag runlog mtconnect net)

# TALLYMARK_USES_<folder>: the folders whose headers <folder> may include and whose
# functions it may call. Its own folder is always allowed. Not transitive for includes:
# plugin/ names platform/ itself because it includes platform/ headers itself.
set(TALLYMARK_USES_platform)
set(TALLYMARK_USES_counter platform)
set(TALLYMARK_USES_settings platform)
set(TALLYMARK_USES_net platform)
set(TALLYMARK_USES_server net platform)
set(TALLYMARK_USES_link platform)
set(TALLYMARK_USES_automation platform)
set(TALLYMARK_USES_diag platform)
set(TALLYMARK_USES_runlog platform)
set(TALLYMARK_USES_mtconnect net platform)
set(TALLYMARK_USES_plugin counter settings server link automation diag runlog mtconnect net platform)

# The folders an include check or a link check of <folder> lets it reach: its own and the
# table's.
function(tallymark_reachable_folders folder out)
  set(${out} ${folder} ${TALLYMARK_USES_${folder}} PARENT_SCOPE)
endfunction()

# The libraries a program needs that uses <folders>: tallymark_<folder> for each of them and
# for every folder they reach through the table, in the order of TALLYMARK_SUBSYSTEMS.
# Objects come only from the OBJECT libraries a target links directly, so a program names
# the whole closure, not just the folders it calls.
function(tallymark_libraries_for out)
  set(reach)
  set(next ${ARGN})
  while(next)
    list(POP_FRONT next folder)
    if(folder IN_LIST reach)
      continue()
    endif()
    if(NOT folder IN_LIST TALLYMARK_SUBSYSTEMS)
      message(FATAL_ERROR "tallymark_libraries_for: ${folder} is not a folder of src/")
    endif()
    list(APPEND reach ${folder})
    list(APPEND next ${TALLYMARK_USES_${folder}})
  endwhile()
  set(libs)
  foreach(sub IN LISTS TALLYMARK_SUBSYSTEMS)
    if(sub IN_LIST reach)
      list(APPEND libs tallymark_${sub})
    endif()
  endforeach()
  set(${out} ${libs} PARENT_SCOPE)
endfunction()
