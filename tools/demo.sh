#!/bin/sh
# Lays out the sample drivers with tools/try.sh in build/demo, then adds a label format,
# shows what changed, deletes it and shows that every file is back to its first bytes;
# then applies a catalogue, previewed first and applied twice, and exports the result.
# Installs missing Debian packages when run as root.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tools/deps.sh"
need_packages diff=diffutils

build="$top/build/demo"
stage="$build/stage"
sh "$top/tools/try.sh" "$build" >/dev/null
# One build serves any driver tree: this one is the demo's stage.
export VTPAPERTOOL_ROOT="$stage"

rm -rf "$build/before"
for model in lmq700k rk260; do
  mkdir -p "$build/before/$model"
  cp "$stage/$model/bin/inf/"* "$build/before/$model/"
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
  "$build/bin/$@" || status=$?
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
printf '\n== a refused command line gets the usage screen, and the reason on standard error\n'
run vtpapertoollpr_lmq700k -P q1 -n Tube12 -w 40 -h 50
printf '\n== a catalogue: what it would change, the change, then nothing left to change\n'
printf 'Tube12\t12\t50\nHS9\t9\t60\n' >"$build/catalogue.tsv"
run vtpapertoollpr_lmq700k -P q1 --apply "$build/catalogue.tsv" --dry-run
run vtpapertoollpr_lmq700k -P q1 --apply "$build/catalogue.tsv"
run vtpapertoollpr_lmq700k -P q1 --apply "$build/catalogue.tsv"
run vtpapertoollpr_lmq700k --export
