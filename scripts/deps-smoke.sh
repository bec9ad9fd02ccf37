#!/usr/bin/env bash
# Installs what the Double Commander smoke test needs: the host, a virtual X server,
# a keyboard driver, a screenshot tool and a font with Cyrillic letters. Idempotent
# and quiet when everything is already there.
source "$(dirname "$0")/lib/fail-loudly.sh"
source "$(dirname "$0")/lib/packages.sh"
install_missing_packages doublecmd-qt xvfb xdotool imagemagick fonts-dejavu-core
