#!/bin/bash
# Times catalogues against the single commands they stand for, on the sample tree of
# lmq700k in a scratch directory on the disk that holds $TMPDIR (or /tmp), and prints one
# table of medians: 200 formats added by 200 -n commands and by one --apply, both with the
# sibling stand-in of tools/; the same catalogue applied again against one --list; and one
# --apply of 10, 100 and 1,000 new formats with a sibling that only exits 0, so that the
# tool's own growth shows. Installs missing Debian packages when run as root.
# Usage: bash bench/catalogue.sh   (RUNS=n changes the number of timed runs, 5 by default)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tools/deps.sh"
need_packages cmake=cmake g++=g++ make=make

runs=${RUNS:-5}
work=$(mktemp -d "${TMPDIR:-/tmp}/vtcatalogue.XXXXXX")
trap 'rm -rf "$work"' EXIT
root=$work/root
inf=$root/lmq700k/bin/inf
lpd=$root/lmq700k/bin/lpd
tool=$work/vtpapertoollpr_lmq700k

cmake -S "$top" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DVANTREL_ROOT="$root" \
  -DVTPAPERTOOL_TESTS=OFF >"$work/build.log"
cmake --build "$work/build" -j "$(nproc 2>/dev/null || echo 2)" >>"$work/build.log"
ln -s "$work/build/vtpapertoollpr" "$tool"

# A fresh sample tree; "standin" puts the stand-in in place, anything else a bare exit 0.
fresh() {
  rm -rf "$root"
  mkdir -p "$lpd"
  cp -R "$top/examples/lmq700k/bin/inf" "$inf"
  if [ "$1" = standin ]; then
    cp "$top/tools/vtpapertoolcups-standin" "$lpd/vtpapertoolcups_lmq700k"
  else
    printf '#!/bin/sh\nexit 0\n' >"$lpd/vtpapertoolcups_lmq700k"
  fi
  chmod 755 "$lpd/vtpapertoolcups_lmq700k"
}

catalogue() {
  awk -v n="$1" 'BEGIN { for (i = 1; i <= n; i++) printf "F%d\t12\t%d\n", i, 20 + i % 900 }' \
    >"$work/catalogue.$1"
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

add_one_by_one() {
  while IFS="$(printf '\t')" read -r name width length; do
    "$tool" -P q1 -n "$name" -w "$width" -h "$length"
  done <"$work/catalogue.$1"
}

# Prints the median milliseconds of runs of: fresh tree of the given sibling, then the
# command, which gets the catalogue's size.
timed() {
  sibling=$1 size=$2
  shift 2
  for _ in $(seq "$runs"); do
    fresh "$sibling"
    start=$(now_ms)
    "$@" "$size" >/dev/null
    echo $(($(now_ms) - start))
  done | median
}

apply() { "$tool" -P q1 --apply "$work/catalogue.$1"; }

# The second apply of a catalogue already applied, and one --list of the same tree.
again() {
  fresh standin
  apply 200 >/dev/null
  cp "$lpd/standin.log" "$work/log.before"
  for _ in $(seq "$runs"); do
    start=$(now_ms)
    [ -z "$(apply 200)" ] || { echo "the second apply changed something" >&2; exit 1; }
    echo "apply $(($(now_ms) - start))"
    start=$(now_ms)
    "$tool" --list >/dev/null
    echo "list $(($(now_ms) - start))"
  done >"$work/again"
  cmp -s "$lpd/standin.log" "$work/log.before" || { echo "the second apply asked the sibling tool" >&2; exit 1; }
}

for size in 10 100 200 1000; do catalogue "$size"; done
one_by_one=$(timed standin 200 add_one_by_one)
applied=$(timed standin 200 apply)
bare_one_by_one=$(timed exit0 200 add_one_by_one)
bare_applied=$(timed exit0 200 apply)
again
reapply=$(awk '$1 == "apply" { print $2 }' "$work/again" | median)
list=$(awk '$1 == "list" { print $2 }' "$work/again" | median)

echo "Medians over $runs runs, on $(df -P "$work" | awk 'NR == 2 { print $1 }') ($(stat -f -c %T "$work"))."
echo
echo "| with the stand-in sibling | ms | against | ratio |"
echo "| --- | --- | --- | --- |"
echo "| 200 formats by 200 -n commands | $one_by_one | | |"
echo "| 200 formats by one --apply | $applied | 200 -n | $(awk -v a="$one_by_one" -v b="$applied" 'BEGIN { printf "%.1f x faster (target >= 3)", a / b }') |"
echo "| 200 formats by 200 -n commands, sibling exits 0 | $bare_one_by_one | | |"
echo "| 200 formats by one --apply, sibling exits 0 | $bare_applied | 200 -n | $(awk -v a="$bare_one_by_one" -v b="$bare_applied" 'BEGIN { printf "%.1f x faster", a / b }') |"
echo "| the same --apply again (no sync, no call) | $reapply | one --list: $list ms | $(awk -v a="$reapply" -v b="$list" 'BEGIN { printf "%.2f (target <= 1.5)", a / (b > 0 ? b : 1) }') |"
echo
echo "| new formats in one --apply, sibling exits 0 | ms | ms per format |"
echo "| --- | --- | --- |"
for size in 10 100 1000; do
  ms=$(timed exit0 "$size" apply)
  echo "| $size | $ms | $(awk -v a="$ms" -v n="$size" 'BEGIN { printf "%.2f", a / n }') |"
done
