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
# The README's fleet recipe, run by the installed program on two driver trees that
# VTPAPERTOOL_ROOT names, where server one's export fails: server two keeps its formats.
for host in one two; do
  mkdir -p "$scratch/$host/lmq700k/bin/lpd" && cp -R "$src/examples/lmq700k/bin/inf" "$scratch/$host/lmq700k/bin/"
  cp "$src/tools/vtpapertoolcups-standin" "$scratch/$host/lmq700k/bin/lpd/vtpapertoolcups_lmq700k"
done
sed -i 's/\t1415$/\t1/' "$scratch/one/lmq700k/bin/inf/paperinflmq700k"
for host in one two; do
  sed -n "s/^$host\$ //p" "$src/README.md" | (cd "$scratch" && PATH="$scratch/stage/opt/vtpapertool-test/bin:$PATH" \
    VTPAPERTOOL_ROOT="$scratch/$host" sh -s) >/dev/null 2>&1
done
VTPAPERTOOL_ROOT="$scratch/two" "$scratch/stage/opt/vtpapertool-test/bin/vtpapertoollpr_lmq700k" --list |
  grep -q "^Asset24	22	100	" || fail "the README's recipe lost server two's formats after a failed export"
[ ! -e "$scratch/formats.tsv" ] || fail "a failed export left formats.tsv"
sed "s|^|$scratch/stage|" "$build/install_manifest.txt" | xargs -d '\n' rm -f
left=$(cd "$scratch/stage" && find . ! -type d)
[ -z "$left" ] || fail "the install manifest misses: $left"
finish
