# Sourced by the setup scripts (after fail-loudly.sh and packages.sh): letting 32-bit
# x86 programs start on a kernel that cannot start them itself ("Exec format error").
#
#   let_i386_programs_start PROBE...   runs the probe command; when it cannot start,
#                                      registers QEMU's user-mode emulator for i386
#                                      programs with binfmt_misc (qemu-user-static;
#                                      needs root) and tries again. False when 32-bit
#                                      programs still cannot start.
#   i386_programs_are_emulated         true when QEMU starts them (slow, and it cannot
#                                      run some programs' threads side by side)

kestran_binfmt=/proc/sys/fs/binfmt_misc

let_i386_programs_start() {
  "$@" >/dev/null 2>&1 && return 0
  step "letting QEMU start 32-bit programs: this kernel cannot"
  if ! package_installed qemu-user-static; then
    apt_update && run_quietly kestran_apt install -y -qq --no-install-recommends qemu-user-static || return 1
  fi
  [ -e "$kestran_binfmt/register" ] ||
    $kestran_sudo mount -t binfmt_misc binfmt_misc "$kestran_binfmt" 2>/dev/null || true
  if [ ! -e "$kestran_binfmt/qemu-i386" ] && [ -e "$kestran_binfmt/register" ]; then
    # i386 ELF executables and shared objects; F: QEMU is opened now, so the entry
    # keeps working wherever the program runs (in a chroot too).
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      $kestran_sudo tee "$kestran_binfmt/register" >/dev/null 2>&1 || true
  fi
  "$@" >/dev/null 2>&1 || return 1
  done_step
}

i386_programs_are_emulated() { grep -qsx enabled "$kestran_binfmt/qemu-i386"; }
