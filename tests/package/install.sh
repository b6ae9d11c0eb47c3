#!/bin/sh
# A staged install (DESTDIR and a prefix of our own) must hold what check_tree expects, and
# its manifest must name every file, since removing what it names is how the README
# uninstalls.
# Usage: install.sh <cmake> <build-dir> "<model ids>"
set -u
cmake=$1 build=$2 models=$3
. "$(dirname "$0")/common.sh"
DESTDIR="$scratch/stage" "$cmake" --install "$build" --prefix /opt/vtpapertool-test >"$scratch/log" 2>&1 ||
  fail "cmake --install failed: $(cat "$scratch/log")"
staged() { (cd "$scratch/stage" && find . ! -type d \( -type l -printf '%p -> %l\n' -o -print \)); }
check_tree "$scratch/stage" opt/vtpapertool-test plain staged
sed "s|^|$scratch/stage|" "$build/install_manifest.txt" | xargs -d '\n' rm -f
left=$(cd "$scratch/stage" && find . ! -type d)
[ -z "$left" ] || fail "the install manifest misses: $left"
finish
