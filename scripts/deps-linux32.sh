#!/usr/bin/env bash
# Installs what the 32-bit Linux build (preset linux32) needs: g++ for -m32 (Debian's
# g++-multilib), the i386 builds of Boost, LZO and GoogleTest (multiarch), and QEMU's
# user-mode emulator, which ctest starts the 32-bit test programs through on every
# machine. On a kernel that cannot start 32-bit programs, QEMU is also registered to
# start them (needs root), for the programs those tests start in turn. Idempotent and
# quiet when everything is there.
source "$(dirname "$0")/lib/fail-loudly.sh"
source "$(dirname "$0")/lib/packages.sh"
source "$(dirname "$0")/lib/i386.sh"
add_foreign_architecture i386
install_missing_packages g++-multilib \
  libboost1.81-dev:i386 libboost-program-options1.81-dev:i386 libboost-regex1.81-dev:i386 \
  libboost-filesystem1.81-dev:i386 liblzo2-dev:i386 libgtest-dev:i386 libgmock-dev:i386
install_current_qemu_user
if ! let_i386_programs_start /lib/ld-linux.so.2 --version; then
  echo "32-bit programs cannot start here, not even through QEMU" >&2
  exit 1
fi
