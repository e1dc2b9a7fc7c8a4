# Runs the include check on a tree that keeps the rules and on one that breaks each of
# them once, and holds its verdicts and messages against what they must be.
#   cmake -DCHECK_SCRIPT=<TallymarkLayerCheck.cmake> -DWORK_DIR=<scratch folder> -P this
cmake_minimum_required(VERSION 3.21)

set(failures 0)
# expect(<what> <condition...>)
macro(expect text)
  if(NOT (${ARGN}))
    message(SEND_ERROR "expected: ${text}")
    math(EXPR failures "${failures} + 1")
  endif()
endmacro()

# write_tree(<root> <path> <text> ...); no text may hold a semicolon.
function(write_tree root)
  file(REMOVE_RECURSE ${root})
  set(args ${ARGN})
  while(args)
    list(POP_FRONT args path text)
    file(WRITE ${root}/${path} "${text}")
  endwhile()
endfunction()

function(run_check root out_result out_output)
  execute_process(COMMAND ${CMAKE_COMMAND} -DTALLYMARK_TOP=${root} -DTALLYMARK_STAMP=${root}/stamp
                          -P ${CHECK_SCRIPT}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(${out_result} ${result} PARENT_SCOPE)
  set(${out_output} "${output}" PARENT_SCOPE)
endfunction()

# Every allowed kind of include: its own folder (by path and beside the file), platform/,
# plugin/ using any folder, the standard library, a generated header; platform
# conditions in platform/ only.
set(good ${WORK_DIR}/good)
write_tree(${good}
  src/platform/socket.h "#pragma once\n#include <cstdint>\n"
  src/platform/clock.cpp "#ifdef _WIN32\n#endif\n#if defined(__linux__)\n#endif\n"
  src/counter/rule.h "#pragma once\n#include \"platform/socket.h\"\n"
  src/counter/rule.cpp "#include \"counter/rule.h\"\n#include \"rule.h\"\n#include <vector>\n"
  src/server/protocol.h "#pragma once\n"
  src/plugin/plugin.cpp "#include \"counter/rule.h\"\n#include \"server/protocol.h\"\n#include \"tallymark_version.h\"\n#include \"../platform/socket.h\"\n"
  tests/counter/rule_test.cpp "#include \"plugin/plugin.h\"\n")
run_check(${good} result output)
expect("a tree that keeps the rules passes; the check said: ${output}" result EQUAL 0)
expect("a pass writes the stamp" EXISTS ${good}/stamp)

# Each rule broken once, in the ways a header can be reached.
set(bad ${WORK_DIR}/bad)
write_tree(${bad}
  src/plugin/host.h "#pragma once\n"
  src/server/protocol.h "#pragma once\n"
  src/counter/ole_date.h "#pragma once\n"
  src/counter/rule.cpp "#include \"counter/ole_date.h\"\n\n#include \"plugin/host.h\"\n// #include \"plugin/host.h\"\n"
  src/counter/window.h "#pragma once\n#include \"../server/protocol.h\"\n"
  src/link/comm.cpp "#  include <counter/ole_date.h>\n"
  src/platform/dialogs.cpp "#include \"plugin/not_yet_written.h\"\n"
  src/diag/console.cpp "// the console\n#if defined(_WIN32)\n#endif\n"
  tests/fake.cpp "#ifdef __linux__\n#endif\n"
  src/widgets/button.cpp "\n"
  src/loose.cpp "\n")
run_check(${bad} result output)
expect("a tree that breaks the rules fails" NOT result EQUAL 0)
expect("a failure writes no stamp" NOT EXISTS ${bad}/stamp)
string(REGEX REPLACE "[ \t\r\n]+" " " flat "${output}")  # the message comes wrapped
foreach(line
    "Layering check: 9 problem(s)"
    "src/counter/rule.cpp:3: counter/ may not include src/plugin/host.h: the edge counter -> plugin is not allowed (counter/ may use platform)"
    "src/counter/window.h:2: counter/ may not include src/server/protocol.h: the edge counter -> server is not allowed"
    "src/link/comm.cpp:1: link/ may not include src/counter/ole_date.h: the edge link -> counter is not allowed"
    "src/platform/dialogs.cpp:1: platform/ may not include src/plugin/not_yet_written.h: the edge platform -> plugin is not allowed (platform/ may use nothing but itself)"
    "src/diag/console.cpp:2: a platform condition outside src/platform/"
    "tests/fake.cpp:1: a platform condition outside src/platform/"
    "src/widgets/button.cpp: src/widgets/ is not a subsystem"
    "src/loose.cpp: every source of src/ belongs to a subsystem's folder")
  string(FIND "${flat}" "${line}" at)
  expect("the failure names \"${line}\"; it said: ${flat}" NOT at EQUAL -1)
endforeach()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} expectation(s) failed")
endif()
