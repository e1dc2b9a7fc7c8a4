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
