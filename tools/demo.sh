#!/bin/sh
# Builds the tool for a staging root inside the build tree, lays out the sample driver
# trees of examples/ there with the sibling stand-in, then adds a label format, shows what
# changed, deletes it and shows that every file is back to its first bytes.
# Installs missing Debian packages when run as root.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tools/deps.sh"
need_packages cmake=cmake g++=g++ make=make diff=diffutils

build="$top/build/demo"
stage="$build/stage"
cmake -S "$top" -B "$build" -DVANTREL_ROOT="$stage" -DVTPAPERTOOL_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

rm -rf "$stage" "$build/before"
for model in lmq700k rk260; do
  mkdir -p "$stage/$model/bin/lpd" "$build/before/$model"
  cp -R "$top/examples/$model/bin/inf" "$stage/$model/bin/"
  cp "$top/tools/vtpapertoolcups-standin" "$stage/$model/bin/lpd/vtpapertoolcups_$model"
  cp "$stage/$model/bin/inf/"* "$build/before/$model/"
  ln -sf "$build/vtpapertoollpr" "$build/vtpapertoollpr_$model"
done

show_changes() {
  model=$1
  for file in "$stage/$model/bin/inf/"*; do
    echo "--- $(basename "$file")"
    diff "$build/before/$model/$(basename "$file")" "$file" || true
  done
  echo "--- the sibling stand-in's log (one word a line)"
  cat "$stage/$model/bin/lpd/standin.log"
}

run() {
  printf '\n$ %s\n' "$*"
  status=0
  "$build/$@" || status=$?
  echo "(exit status $status)"
}

demo_model() {
  model=$1
  shift
  run "vtpapertoollpr_$model" "$@"
  show_changes "$model"
  run "vtpapertoollpr_$model" --list
  run "vtpapertoollpr_$model" -P q1 -d "$4"
  for file in "$stage/$model/bin/inf/"*; do
    cmp -s "$build/before/$model/$(basename "$file")" "$file" &&
      echo "$(basename "$file"): back to its first bytes" ||
      echo "$(basename "$file"): differs from its first bytes"
  done
}

echo "== tape model lmq700k: a 12 mm x 50 mm label"
demo_model lmq700k -P q1 -n Tube12 -w 12 -h 50
printf '\n== roll model rk260: a 29 mm x 90 mm label\n'
demo_model rk260 -P q1 -n Roll29 -w 29 -h 90
printf '\n== a malformed command line gets the usage screen\n'
run vtpapertoollpr_lmq700k -P q1 -n Tube12 -w 40 -h 50
