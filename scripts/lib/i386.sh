# Sourced by the setup scripts (after fail-loudly.sh and packages.sh): letting 32-bit
# x86 programs start on a kernel that cannot start them itself ("Exec format error").
#
#   let_i386_programs_start PROBE...   runs the probe command; when it cannot start,
#                                      registers QEMU's user-mode emulator for i386
#                                      programs with binfmt_misc (qemu-user-static;
#                                      needs root) and tries again. False when 32-bit
#                                      programs still cannot start.
#   i386_programs_are_emulated         true when QEMU starts them
#   install_current_qemu_user          QEMU's user-mode emulator in a release that
#                                      runs 32-bit Wine (below)

kestran_binfmt=/proc/sys/fs/binfmt_misc
kestran_i386_entry=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'

# QEMU 10.0 or later: before it, QEMU's user mode did not keep MAP_FIXED_NOREPLACE
# (it took it for a hint and mapped elsewhere), so 32-bit Wine died at its start with
# "failed to map the shared user data: c0000018", after a minute of searching the
# address space. Debian 12 has 7.2; its backports suite, from the same archive, has a
# later one. An entry already registered for QEMU holds the old program open (flag F),
# so it is registered again after an upgrade.
kestran_qemu_minimum=1:10.0
install_current_qemu_user() {
  local version
  version=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null || true)
  if [ -n "$version" ] && dpkg --compare-versions "$version" ge "$kestran_qemu_minimum"; then return 0; fi
  apt_update
  local candidate codename
  candidate=$(apt-cache policy qemu-user-static 2>/dev/null | sed -n 's/^ *Candidate: //p')
  if [ -n "$candidate" ] && [ "$candidate" != "(none)" ] &&
    dpkg --compare-versions "$candidate" ge "$kestran_qemu_minimum"; then
    step "installing qemu-user-static $candidate"
    run_quietly kestran_apt install -y -qq --no-install-recommends qemu-user-static
  else
    ensure_backports_entry
    codename="$(. /etc/os-release && echo "$VERSION_CODENAME")"
    step "installing qemu-user-static from $codename-backports (QEMU ${kestran_qemu_minimum#1:} or later runs 32-bit Wine)"
    run_quietly kestran_apt install -y -qq --no-install-recommends -t "$codename-backports" qemu-user-static
  fi
  version=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null || true)
  if [ -z "$version" ] || ! dpkg --compare-versions "$version" ge "$kestran_qemu_minimum"; then
    echo "qemu-user-static ${version:-(none)} was installed, but 32-bit Wine needs QEMU ${kestran_qemu_minimum#1:} or later" >&2
    return 1
  fi
  if [ -e "$kestran_binfmt/qemu-i386" ] && grep -qsx 'interpreter /usr/bin/qemu-i386-static' "$kestran_binfmt/qemu-i386"; then
    echo -1 | $kestran_sudo tee "$kestran_binfmt/qemu-i386" >/dev/null
    printf '%s' "$kestran_i386_entry" | $kestran_sudo tee "$kestran_binfmt/register" >/dev/null
  fi
  done_step
}

let_i386_programs_start() {
  "$@" >/dev/null 2>&1 && return 0
  step "letting QEMU start 32-bit programs: this kernel cannot"
  install_current_qemu_user || return 1
  [ -e "$kestran_binfmt/register" ] ||
    $kestran_sudo mount -t binfmt_misc binfmt_misc "$kestran_binfmt" 2>/dev/null || true
  if [ ! -e "$kestran_binfmt/qemu-i386" ] && [ -e "$kestran_binfmt/register" ]; then
    # i386 ELF executables and shared objects; F: QEMU is opened now, so the entry
    # keeps working wherever the program runs (in a chroot too).
    printf '%s' "$kestran_i386_entry" | $kestran_sudo tee "$kestran_binfmt/register" >/dev/null 2>&1 || true
  fi
  "$@" >/dev/null 2>&1 || return 1
  done_step
}

i386_programs_are_emulated() { grep -qsx enabled "$kestran_binfmt/qemu-i386"; }
