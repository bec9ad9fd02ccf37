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
# The demo uses the newest layout: fsgame.ltx names data/ and patches/.
select=(--root "$demo" --build 3967)
echo "== kestran-db ls -R ${select[*]}"
"$db" ls -R "${select[@]}"
echo
echo "== kestran-db which textures/wall.dds ${select[*]}"
"$db" which textures/wall.dds "${select[@]}"
echo
echo "== kestran-db records $demo/data/base.db0"
"$db" records "$demo/data/base.db0"
