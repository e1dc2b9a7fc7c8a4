# Sourced by the scripts: which way this machine runs 32-bit x86 programs, which is what
# Wine's 32-bit side and so every run of the shipped 32-bit DLL needs.
#
# Some machines run them natively. On others (a PVM hypervisor) every i386 program fails
# with "Exec format error" although the kernel has IA32 emulation built in; there they run
# only under qemu-user, registered through binfmt_misc. Such a handler is consulted before
# the kernel's own ELF loader, so registering it on a native machine forces the emulated
# path: that is how the path is tried anywhere (scripts/setup --emulate-i386).

tm_binfmt=/proc/sys/fs/binfmt_misc
tm_handler=tallymark-i386
# The i386 ELF header (executables and position-independent ones) and its mask, as
# qemu's own binfmt configuration has them.
tm_i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
tm_i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# Debian keeps the 64-bit loader and server outside PATH. Calling them directly keeps the
# 32-bit loader, emulated on some machines, out of every 64-bit run.
tm_wine64=/usr/lib/wine/wine64
[ -x "$tm_wine64" ] || tm_wine64=$(command -v wine64 || echo wine64)
tm_wineserver=/usr/lib/wine/wineserver64
[ -x "$tm_wineserver" ] || tm_wineserver=wineserver

tm_as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

# True when binfmt_misc hands i386 programs to qemu (our handler or anyone's).
tm_i386_handler_active() {
  local f
  grep -qsx enabled "$tm_binfmt/status" || return 1
  for f in "$tm_binfmt"/*; do
    case ${f##*/} in register | status) continue ;; esac
    grep -qsx enabled "$f" && grep -qs '^interpreter .*qemu-i386' "$f" && return 0
  done
  return 1
}

# Prints "native", "emulated" or "none" (32-bit programs do not run, or the i386
# runtime that Wine's 32-bit side installs is not there yet).
tm_i386_mode() {
  if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo none
  elif tm_i386_handler_active; then
    echo emulated
  else
    echo native
  fi
}

tm_register_i386_handler() {
  [ -e "$tm_binfmt/register" ] || tm_as_root mount -t binfmt_misc binfmt_misc "$tm_binfmt"
  [ -e "$tm_binfmt/$tm_handler" ] && return 0
  # F: the kernel opens qemu now, so the handler also works inside other mount namespaces.
  printf '%s' ":$tm_handler:M::$tm_i386_magic:$tm_i386_mask:/usr/bin/qemu-i386-static:F" |
    tm_as_root tee "$tm_binfmt/register" >/dev/null
}

tm_remove_i386_handler() {
  [ -e "$tm_binfmt/$tm_handler" ] || return 0
  echo -1 | tm_as_root tee "$tm_binfmt/$tm_handler" >/dev/null
}

# Starts a private Xvfb on the first free display from $1 and exports DISPLAY; the pid
# goes to tm_xvfb_pid. Wine's server keeps the display it starts with: call this first.
tm_start_xvfb() {
  local n=$1
  while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
  Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  tm_xvfb_pid=$!
  for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
  export DISPLAY=:$n
}

# Creates the 64-bit prefix $WINEPREFIX if it is new and waits until Wine's services have
# settled: a COM test that races the first start of rpcss finds no running-object table.
tm_wine64_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"  # Wine makes the prefix, not the folders above it
  WINEARCH=win64 "$tm_wine64" wineboot -i >/dev/null 2>&1 || true
  "$tm_wineserver" -w >/dev/null 2>&1 || true
}

# --- Whether a 32-bit Windows program starts under Wine here ---------------------------
# Running 32-bit x86 code is not enough: on some machines every 32-bit Wine process under
# qemu-user ends at once ("wine: failed to map the shared user data: c0000018"). So a tiny
# 32-bit console program is started once, with a time limit, and the answer is kept in
# $tm_wine32_dir, one file per machine fingerprint: switching between the native and the
# emulated path, or another Wine, qemu or kernel, probes again; nothing else does.
#
# tm_wine32_case sets tm_wine32 to "native", "emulated" or "cannot", and for "cannot"
# tm_wine32_reason to Wine's own error line. Set before calling it, for tests or to try
# the third case: TALLYMARK_WINE32_LOADER (the 32-bit loader, default wine) and
# TALLYMARK_WINE32_PROBE_SECONDS (the time limit: 60 natively, 600 under emulation, where
# the first start took 74 s on a quiet machine and two minutes on a busy one). A start
# that runs out of time is not kept: the next command asks again.
tm_wine32_dir=${top:-.}/build/wine32-probe
tm_wine32_marker='tallymark: a 32-bit Windows program ran'

tm_wine32_fingerprint() {
  local loader=${TALLYMARK_WINE32_LOADER:-wine}
  echo "i386 $(tm_i386_mode)"
  echo "kernel $(uname -srm)"
  echo "host $(uname -n)"
  echo "loader $(command -v "$loader" || echo "$loader")"
  echo "wine32 $(dpkg-query -W -f='${Version}' wine32:i386 2>/dev/null)"
  echo "qemu $(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null)"
  # Where the kernel and qemu place mappings, which is what the failing start trips on
  # (c0000018: the shared user data's fixed address is taken): the stack limit switches
  # the kernel's layout, and these are the first things to compare between machines.
  echo "limits stack $(ulimit -s) memory $(ulimit -v)"
  echo "vm legacy_va_layout $(cat /proc/sys/vm/legacy_va_layout 2>/dev/null)" \
    "mmap_min_addr $(cat /proc/sys/vm/mmap_min_addr 2>/dev/null)"
  echo "qemu settings ${QEMU_RESERVED_VA:-} ${QEMU_GUEST_BASE:-}"
}

# Builds the probe program if it is not there yet.
tm_wine32_probe_exe() {
  local exe=$tm_wine32_dir/probe.exe
  [ -f "$exe" ] && return 0
  mkdir -p "$tm_wine32_dir"
  printf '#include <stdio.h>\nint main(void) { puts("%s"); return 0; }\n' "$tm_wine32_marker" |
    i686-w64-mingw32-gcc -O1 -s -x c -o "$exe.new" - 2>"$tm_wine32_dir/compile.log" &&
    mv "$exe.new" "$exe"
}

# Wine's own words for why the probe did not run: its fatal "wine:" line, else its first
# error, else the last thing it said. Reads the probe's output on stdin.
tm_wine32_error_line() {
  local out
  out=$(tr -d '\r' | sed '/^[[:space:]]*$/d')
  { grep -m1 'wine: ' <<<"$out" || grep -m1 '^err:' <<<"$out" || tail -n 1 <<<"$out"; } |
    cut -c1-300
}

# Starts the probe once and prints the result file's lines: "result native|emulated|cannot"
# and, for "cannot", "reason <line>". The program runs in the 64-bit build's prefix
# (made natively by the 64-bit loader, and then reused by scripts/test), so that only the
# 32-bit start itself is timed and the prefix is paid for once.
tm_wine32_probe() {
  local mode seconds log=$tm_wine32_dir/probe.log rc=0
  mode=$(tm_i386_mode)
  seconds=${TALLYMARK_WINE32_PROBE_SECONDS:-$([ "$mode" = native ] && echo 60 || echo 600)}
  if ! tm_wine32_probe_exe; then
    echo "result cannot"
    echo "reason i686-w64-mingw32-gcc could not build the probe: $(head -n 1 "$tm_wine32_dir/compile.log")"
    return
  fi
  (
    export WINEPREFIX=${top:-.}/build/win64/wineprefix WINEDLLOVERRIDES="mscoree,mshtml="
    [ -f "$WINEPREFIX/system.reg" ] || WINEDEBUG=-all tm_wine64_prefix
    # Output to a file, not a pipe: a process left behind by a killed start must not
    # keep the caller waiting for the pipe's end.
    WINEDEBUG=err+all timeout -k 5 "$seconds" "${TALLYMARK_WINE32_LOADER:-wine}" \
      "$tm_wine32_dir/probe.exe" >"$log" 2>&1 </dev/null || rc=$?
    "$tm_wineserver" -k >/dev/null 2>&1 || true
    exit $rc
  ) || rc=$?
  if tr -d '\r' <"$log" | grep -qxF "$tm_wine32_marker"; then
    echo "result $mode"
  elif [ $rc = 124 ] || [ $rc = 137 ]; then
    echo "result cannot"
    echo "reason no 32-bit Windows program had started after ${seconds} s"
    echo "keep no"
  else
    echo "result cannot"
    echo "reason $(tm_wine32_error_line <"$log" | sed "s/^\$/exit status $rc and not a word/")"
  fi
}

# $1 names the caller in the one line said before a probe.
tm_wine32_case() {
  local key file
  key=$(tm_wine32_fingerprint | md5sum | cut -c1-16)
  file=$tm_wine32_dir/case-$key.txt
  if [ ! -f "$file" ]; then
    mkdir -p "$tm_wine32_dir"
    tm_wine32_fingerprint >"$tm_wine32_dir/fingerprint-$key.txt"
    echo "$1: starting a small 32-bit Windows program under Wine, once for this machine, to" \
      "see whether they run here ($([ "$(tm_i386_mode)" = native ] && echo "a few seconds" ||
        echo "about a minute or two under emulation"))" >&2
    tm_wine32_probe >"$file.new"
    # A start that only ran out of time may have met a busy machine: asked again next time.
    grep -qx 'keep no' "$file.new" || mv "$file.new" "$file"
  fi
  [ -f "$file" ] || file=$file.new
  tm_wine32=$(sed -n 's/^result //p' "$file")
  tm_wine32_reason=$(sed -n 's/^reason //p' "$file")
}

# The sentence every script says for the third case.
tm_wine32_cannot_text() {
  echo "32-bit Windows programs cannot run here (Wine: $tm_wine32_reason)"
}

# True when the host's output ($1, a file) shows it ran at least one script step, passed
# or failed: "hostsim: ok  line N" or "hostsim: FAILED at script line N".
tm_host_ran_a_step() {
  grep -qE '^hostsim: (ok  line [0-9]+|FAILED at script line [0-9]+)' "$1"
}

# True when a run of the 32-bit host (exit status $1, its output in the file $2, the case
# $3) says nothing about the plug-in, so that the demo runs the 64-bit build instead: the
# host ended before its first step, or under emulation it did not finish. Exit 1 after a
# step is a step that failed: a result, not a fault of the machine.
tm_host_run_needs_fallback() {
  [ "$1" = 0 ] && return 1
  tm_host_ran_a_step "$2" || return 0
  [ "$1" != 1 ] && [ "$3" != native ]
}

# What each case runs of the 32-bit build: scripts/test's ctest label options, and the
# build scripts/demo starts with.
tm_win32_ctest_args() {
  case $1 in
    native) ;;
    emulated) echo "-L dll -LE not_emulated" ;;
    *) echo "-L static" ;;
  esac
}
tm_demo_build() {
  case $1 in
    native | emulated) echo win32 ;;
    *) echo win64 ;;
  esac
}
