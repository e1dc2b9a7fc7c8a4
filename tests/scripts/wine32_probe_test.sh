#!/usr/bin/env bash
# The probe of scripts/lib/machine.sh against a fake 32-bit Wine loader: one that runs the
# program, one that fails at once as Wine does where it cannot map its shared user data,
# and one that never ends. Also the cache (one probe per machine fingerprint), what each
# of the three cases runs, and when the demo takes the 64-bit build instead.
set -euo pipefail  # as in the scripts that use the probe
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$top/scripts/lib/machine.sh"

# No real Wine: the 64-bit prefix and server are no-ops, the probe program a stub.
top=$work
tm_wine32_dir=$work/probe
tm_wine64=true
tm_wineserver=true
mkdir -p "$tm_wine32_dir" "$work/build/win64/wineprefix"
touch "$tm_wine32_dir/probe.exe" "$work/build/win64/wineprefix/system.reg"
tm_i386_mode() { echo emulated; }

passed=0 failed=0
check() {  # description, then a command that must succeed
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what"; fi
}

fake() {  # name, body: a loader script that counts its starts in $work/<name>.starts
  printf '#!/bin/sh\necho start >>%s/%s.starts\n%s\n' "$work" "$1" "$2" >"$work/$1"
  chmod +x "$work/$1"
}
not() { ! "$@"; }
starts() { wc -l <"$work/$1.starts" 2>/dev/null || echo 0; }

fake runs "printf '%s\r\n' '$tm_wine32_marker'"
fake fails "echo 'err:virtual:virtual_alloc_first_teb wine: failed to map the shared user data: c0000018' >&2
echo 'err:ole:something later' >&2; exit 1"
fake silent "exit 3"
fake hangs "exec sleep 600"

# A loader that runs the program: the mode of the machine, probed once.
export TALLYMARK_WINE32_LOADER=$work/runs
tm_wine32_case test 2>/dev/null
check "a program that runs gives the machine's mode" [ "$tm_wine32" = emulated ]
check "no reason when it runs" [ -z "$tm_wine32_reason" ]
tm_wine32_case test 2>/dev/null
check "the answer is kept: one start for two questions" [ "$(starts runs)" = 1 ]
tm_i386_mode() { echo native; }
tm_wine32_case test 2>/dev/null
check "another path for 32-bit code probes again" [ "$tm_wine32/$(starts runs)" = native/2 ]
said=$(tm_wine32_case test 2>&1)
check "nothing is said when the answer is known" [ -z "$said" ]

# Wine fails at once: the third case, with Wine's fatal line rather than a later error.
export TALLYMARK_WINE32_LOADER=$work/fails
said=$(tm_wine32_case test 2>&1)
check "the probe says that it starts a program" grep -q '^test: starting a small 32-bit Windows program' <<<"$said"
tm_wine32_case test 2>/dev/null
check "a loader that fails gives the third case" [ "$tm_wine32" = cannot ]
check "with Wine's own line" [ "$tm_wine32_reason" = \
  "err:virtual:virtual_alloc_first_teb wine: failed to map the shared user data: c0000018" ]
check "the sentence names it" grep -q '^32-bit Windows programs cannot run here (Wine: err:virtual:' \
  <<<"$(tm_wine32_cannot_text)"
export TALLYMARK_WINE32_LOADER=$work/silent
tm_wine32_case test 2>/dev/null
check "a loader that fails without a word" \
  [ "$tm_wine32: $tm_wine32_reason" = "cannot: exit status 3 and not a word" ]

# Wine never ends: the probe gives up at its limit, and the stuck start is ended.
export TALLYMARK_WINE32_LOADER=$work/hangs TALLYMARK_WINE32_PROBE_SECONDS=1
tm_wine32_case test 2>/dev/null
check "a start that hangs gives the third case" [ "$tm_wine32" = cannot ]
check "saying how long it waited" [ "$tm_wine32_reason" = "no 32-bit Windows program had started after 1 s" ]
check "the hanging start was ended" [ -z "$(pgrep -f "$work/hangs" || true)" ]
tm_wine32_case test 2>/dev/null
check "a start that ran out of time is asked again" [ "$(starts hangs)" = 2 ]
unset TALLYMARK_WINE32_PROBE_SECONDS

# The demo: exit 1 after a step is a failed step; before any step, the host did not run.
printf 'hostsim: loaded x\nhostsim: ok  line 7: menu Tally_Mark\n' >"$work/ok.txt"
printf 'hostsim: ok  line 7: menu\nhostsim: FAILED at script line 9 (expect): 3\n' >"$work/failed.txt"
printf 'hostsim: FAILED at script line 9 (expect): 3\n' >"$work/first-failed.txt"
printf 'hostsim: loaded x\nhostsim: cannot create the main window\n' >"$work/none.txt"
: >"$work/empty.txt"
check "a passed step counts" tm_host_ran_a_step "$work/ok.txt"
check "a failed step counts" tm_host_ran_a_step "$work/failed.txt"
check "a first step that failed counts" tm_host_ran_a_step "$work/first-failed.txt"
check "no step: did not run" not tm_host_ran_a_step "$work/none.txt"
check "no output: did not run" not tm_host_ran_a_step "$work/empty.txt"

# The demo falls back to the 64-bit build when the 32-bit run says nothing about the plug-in.
check "all steps passed: no fallback" not tm_host_run_needs_fallback 0 "$work/ok.txt" emulated
check "a failed step is a result" not tm_host_run_needs_fallback 1 "$work/failed.txt" emulated
check "exit 1 before any step: fallback" tm_host_run_needs_fallback 1 "$work/none.txt" native
check "no output at all: fallback" tm_host_run_needs_fallback 5 "$work/empty.txt" emulated
check "killed under emulation after steps: fallback" tm_host_run_needs_fallback 124 "$work/ok.txt" emulated
check "killed natively after steps: a result" not tm_host_run_needs_fallback 124 "$work/ok.txt" native

# What each case runs.
check "natively, the whole 32-bit suite" [ -z "$(tm_win32_ctest_args native)" ]
check "under emulation, the DLL's programs but those qemu cannot end" [ "$(tm_win32_ctest_args emulated)" = "-L dll -LE not_emulated" ]
check "where none starts, the static checks" [ "$(tm_win32_ctest_args cannot)" = "-L static" ]
check "the demo's first build" [ "$(tm_demo_build native)$(tm_demo_build emulated)$(tm_demo_build cannot)" = win32win32win64 ]

echo "$passed passed, $failed failed"
[ $failed = 0 ]
