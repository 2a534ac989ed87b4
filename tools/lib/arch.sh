# shellcheck shell=bash
# Which Windows build this machine can run under Wine, asked the same way by tools/test, tools/run, tools/install-deps and the benchmarks.
# Some kernels cannot execute 32-bit x86 code at all (built or booted without IA32
# emulation): there 32-bit Wine cannot start, and neither can WoW64's 32-bit side,
# so the Windows tests run an x86-64 test build under 64-bit Wine instead.
#
#   wine_arch           prints win32 or win64
#   say_wine_arch       one line that says what was found and what follows
#   windows_preset      the build preset whose programs run here: windows or windows-x64
#   wine_loader ARCH, wine_server ARCH   the Wine commands for that architecture
#
# LIGHT_WINE_ARCH=win32|win64 decides instead of the check, so that a machine that
# runs both can try both paths.

[ -n "${LIGHT_ARCH_SOURCED:-}" ] && return 0
LIGHT_ARCH_SOURCED=1

# The smallest i386 Linux program: one ELF header, one program header, and
# exit(42) through int 0x80. It needs nothing installed, and 42 can only come
# from the program itself having run.
readonly I386_EXIT_42='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80'

# True when this machine executes 32-bit x86 code.
runs_32bit_code() {
  local program status=0
  program=$(mktemp "${TMPDIR:-/tmp}/light-i386.XXXXXX") || return 1
  printf '%b' "$I386_EXIT_42" >"$program"
  chmod +x "$program"
  "$program" 2>/dev/null || status=$?
  rm -f "$program"
  [ "$status" -eq 42 ]
}

# What the Windows tests run under, and why: the architecture, a space, the reason.
wine_arch_found() {
  case "${LIGHT_WINE_ARCH:-}" in
    win32 | win64) echo "$LIGHT_WINE_ARCH as LIGHT_WINE_ARCH asks" ;;
    "") if runs_32bit_code; then
          echo "win32 this machine runs 32-bit x86 code"
        else
          echo "win64 this machine cannot run 32-bit x86 code"
        fi ;;
    *) echo "LIGHT_WINE_ARCH must be win32 or win64, not '$LIGHT_WINE_ARCH'" >&2; return 2 ;;
  esac
}

wine_arch() {
  local found
  found=$(wine_arch_found) || return
  echo "${found%% *}"
}

say_wine_arch() {
  local found
  found=$(wine_arch_found) || return
  case "${found%% *}" in
    win32) echo "wine: ${found#* }: the i686 build runs under 32-bit Wine" ;;
    win64) echo "wine: ${found#* }: an x86-64 test build runs under 64-bit Wine;" \
      "the shipped i686 programs are built and checked, not run" ;;
  esac
}

windows_preset() {
  local arch
  arch=$(wine_arch) || return
  if [ "$arch" = win64 ]; then echo windows-x64; else echo windows; fi
}

# The Wine loader and server for an architecture. Debian's /usr/bin/wine takes the
# 32-bit loader whenever it is installed, so the 64-bit one is named directly.
wine_loader() { [ "$1" = win64 ] && echo /usr/lib/wine/wine64 || echo wine; }
wine_server() { [ "$1" = win64 ] && echo /usr/lib/wine/wineserver64 || echo wineserver; }
