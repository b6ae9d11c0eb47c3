#!/bin/sh
# Lays out a driver to try the tool on without a printer: builds the tool in <dir>
# (build/try by default), copies the sample driver trees of examples/ under <dir>/stage with
# the sibling stand-in, and links every model's name in <dir>/bin. The tool finds the stage
# through VTPAPERTOOL_ROOT. Running it again starts afresh. Installs missing Debian packages
# when run as root.
# Usage: tools/try.sh [dir]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$top/build/try}
case $dir in /*) ;; *) dir=$(pwd)/$dir ;; esac
. "$top/tools/deps.sh"
need_packages cmake=cmake g++=g++ make=make

stage=$dir/stage
cmake -S "$top" -B "$dir" -DVTPAPERTOOL_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

rm -rf "$stage" "$dir/bin"
mkdir -p "$dir/bin"
for model in lmq700k rk260; do
  mkdir -p "$stage/$model/bin/lpd"
  cp -R "$top/examples/$model/bin/inf" "$stage/$model/bin/"
  cp "$top/tools/vtpapertoolcups-standin" "$stage/$model/bin/lpd/vtpapertoolcups_$model"
  ln -s "$dir/vtpapertoollpr" "$dir/bin/vtpapertoollpr_$model"
done
echo "sample drivers for lmq700k and rk260 under $stage"
echo "try: export VTPAPERTOOL_ROOT=$stage PATH=$dir/bin:\$PATH; vtpapertoollpr_lmq700k --list"
