#!/usr/bin/env bash
# Installs the Debian packages that the native build and its tests need (man-db and
# groff-base render the manual page in its test; libfuse3 and fuse3 serve the mount).
# Idempotent and quiet when everything is already there.
source "$(dirname "$0")/lib/fail-loudly.sh"
source "$(dirname "$0")/lib/packages.sh"
install_missing_packages \
  build-essential cmake ninja-build pkg-config \
  libboost1.81-dev libboost-program-options1.81-dev libboost-regex1.81-dev libboost-filesystem1.81-dev \
  liblzo2-dev libgtest-dev libgmock-dev libbenchmark-dev liblhasa-dev \
  clang libclang-rt-dev \
  man-db groff-base \
  libfuse3-dev fuse3
