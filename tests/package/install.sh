#!/bin/sh
# A staged install (DESTDIR and a prefix of our own) must hold the program, a relative
# link per model that runs as that model, and the manual page as written.
# Usage: install.sh <cmake> <build-dir> <manual-page-source> "<model ids>"
set -u
cmake=$1 build=$2 manual=$3 models=$4
. "$(dirname "$0")/common.sh"

DESTDIR="$scratch/stage" "$cmake" --install "$build" --prefix /opt/vtpapertool-test \
  >"$scratch/install.log" 2>&1 || {
  cat "$scratch/install.log"
  fail "cmake --install failed"
  finish
}
root="$scratch/stage/opt/vtpapertool-test"
check_tree "$root/bin" "$models"
page="$root/share/man/man1/vtpapertoollpr.1"
cmp -s "$manual" "$page" || fail "the installed manual page differs from its source"
[ -z "$(find "$scratch/stage" -path "$root" -prune -o ! -type d -print)" ] ||
  fail "files installed outside the prefix: $(find "$scratch/stage" -path "$root" -prune -o ! -type d -print)"
finish
