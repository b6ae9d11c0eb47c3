#!/bin/sh
# Builds the Debian package with cpack, as a packager would, and checks what it holds:
# its control fields, the program, one relative link per model that runs as that model,
# and the manual page gzip-compressed. Exits 77 (skipped) without dpkg's tools.
# Usage: deb.sh <cpack> <build-dir> <manual-page-source> "<model ids>"
set -u
cpack=$1 build=$2 manual=$3 models=$4
for tool in dpkg-deb dpkg gzip; do
  command -v "$tool" >/dev/null 2>&1 || {
    echo "skipped: $tool is not installed"
    exit 77
  }
done
. "$(dirname "$0")/common.sh"

(cd "$build" && "$cpack" --config CPackConfig.cmake -G DEB -B "$scratch/out") \
  >"$scratch/cpack.log" 2>&1 || {
  cat "$scratch/cpack.log"
  fail "cpack failed"
  finish
}
set -- "$scratch/out"/*.deb
[ $# -eq 1 ] && [ -f "$1" ] || {
  fail "cpack made $# packages, not one"
  finish
}
deb=$1
[ "$(basename "$deb")" = "vtpapertoollpr_0.2_$(dpkg --print-architecture).deb" ] ||
  fail "package file name $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vtpapertoollpr ] || fail "Package: $(field Package)"
[ "$(field Version)" = 0.2 ] || fail "Version: $(field Version)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer field"
[ -n "$(field Description)" ] || fail "no Description field"
for needed in libc6 libstdc++6 libgcc-s1; do
  case ", $(field Depends)" in
    *", $needed "* | *", $needed,"* | *", $needed") ;;
    *) fail "Depends lacks $needed: $(field Depends)" ;;
  esac
done

# The listing must name exactly these paths, links with their targets.
{
  echo ./usr/
  echo ./usr/bin/
  echo ./usr/bin/vtpapertoollpr
  for model in $models; do echo "./usr/bin/vtpapertoollpr_$model -> vtpapertoollpr"; done
  echo ./usr/share/
  echo ./usr/share/man/
  echo ./usr/share/man/man1/
  echo ./usr/share/man/man1/vtpapertoollpr.1.gz
} | LC_ALL=C sort >"$scratch/listing.expected"
dpkg-deb -c "$deb" >"$scratch/listing.raw" || fail "dpkg-deb -c failed"
sed 's/^[^ ]* [^ ]* *[0-9]* [0-9-]* [0-9:]* //' "$scratch/listing.raw" | LC_ALL=C sort \
  >"$scratch/listing.got"
cmp -s "$scratch/listing.expected" "$scratch/listing.got" || {
  fail "dpkg-deb -c lists other paths than expected"
  diff "$scratch/listing.expected" "$scratch/listing.got"
}

dpkg -x "$deb" "$scratch/root" || fail "dpkg -x failed"
check_tree "$scratch/root/usr/bin" "$models"
page="$scratch/root/usr/share/man/man1/vtpapertoollpr.1.gz"
gzip -dc "$page" >"$scratch/page" 2>/dev/null || fail "the manual page is not gzip data"
cmp -s "$manual" "$scratch/page" || fail "the packaged manual page differs from its source"
finish
