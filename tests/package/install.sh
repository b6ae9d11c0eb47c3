#!/bin/sh
# A staged install (DESTDIR and a prefix of our own) must hold what check_tree expects, and
# uninstalling must take it all away again.
# Usage: install.sh <cmake> <build-dir> "<model ids>"
set -u
cmake=$1 build=$2 models=$3
. "$(dirname "$0")/common.sh"
DESTDIR="$scratch/stage" "$cmake" --install "$build" --prefix /opt/vtpapertool-test >"$scratch/log" 2>&1 ||
  fail "cmake --install failed: $(cat "$scratch/log")"
check_tree "$scratch/stage" opt/vtpapertool-test ""
# Uninstalling takes away every file and every folder that installing made; a file of
# someone else's keeps its folder.
touch "$scratch/stage/opt/vtpapertool-test/share/doc/theirs"
DESTDIR="$scratch/stage" "$cmake" -P "$build/uninstall.cmake" >"$scratch/log" 2>&1 || fail "uninstall failed: $(cat "$scratch/log")"
left=$(cd "$scratch/stage" && find . | LC_ALL=C sort | tr '\n' ' ')
[ "$left" = ". ./opt ./opt/vtpapertool-test ./opt/vtpapertool-test/share ./opt/vtpapertool-test/share/doc ./opt/vtpapertool-test/share/doc/theirs " ] ||
  fail "uninstall left: $left"
finish
