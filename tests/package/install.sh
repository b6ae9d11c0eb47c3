#!/bin/sh
# A staged install (DESTDIR and a prefix of our own) must hold what check_tree expects.
# Usage: install.sh <cmake> <build-dir> "<model ids>"
set -u
cmake=$1 build=$2 models=$3
. "$(dirname "$0")/common.sh"
DESTDIR="$scratch/stage" "$cmake" --install "$build" --prefix /opt/vtpapertool-test >"$scratch/log" 2>&1 ||
  fail "cmake --install failed: $(cat "$scratch/log")"
check_tree "$scratch/stage" opt/vtpapertool-test ""
finish
