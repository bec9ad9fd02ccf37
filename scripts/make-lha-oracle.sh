#!/bin/sh
# Regenerates tests/fixtures/lha/: a file table and its LZHUF stream made by an
# independent coder (jlha's LHA -lh1- method). Needs java and Debian's libjlha-java;
# the fixture is committed, so tests never need Java.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
fixture="$root/tests/fixtures/lha"
jar=${JLHA_JAR:-/usr/share/java/jlha.jar}
classes=$(mktemp -d)
trap 'rm -rf "$classes"' EXIT
javac -d "$classes" -cp "$jar" "$fixture/MakeLhaOracle.java"
java -cp "$jar:$classes" MakeLhaOracle "$fixture"
