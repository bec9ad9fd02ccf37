#!/usr/bin/env bash
# Sets up, builds, and runs kestran-db on the bundled demo installation.
source "$(dirname "$0")/lib/fail-loudly.sh"
cd "$(dirname "$0")/.."
bash scripts/deps-native.sh
bash scripts/build.sh release kestran-db kestran-make-demo >/dev/null
demo=build/release/demo
rm -rf "$demo"
build/release/tests/support/kestran-make-demo "$demo"
db=build/release/tools/kestran-db/kestran-db
# The root alone is enough: its fsgame.ltx names data/ and patches/ (the newest layout).
select=(--root "$demo")
run() {
  echo "== kestran-db $*"
  "$db" "$@"
  echo
}
run ls -R "${select[@]}"
run archives "${select[@]}"
run conflicts "${select[@]}"
run conflicts --archive patch.db2 textures "${select[@]}"
run ls -l textures "${select[@]}"
run which textures/wall.dds "${select[@]}"
run extract -O config/system.ltx "${select[@]}"
run records "$demo/data/base.db0"
echo "== kestran-db which --json textures/wall.dds ${select[*]}"
"$db" which --json textures/wall.dds "${select[@]}"
