#!/bin/sh
# Builds the Debian package with cpack, as a packager would: its control fields, what
# check_tree expects, and where lintian is installed no lintian error or warning.
# Exits 77 (skipped) without dpkg's tools.
# Usage: deb.sh <cpack> <build-dir> "<model ids>"
set -u
cpack=$1 build=$2 models=$3
for tool in dpkg-deb dpkg gzip; do
  command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed" && exit 77; }
done
. "$(dirname "$0")/common.sh"

(cd "$build" && "$cpack" --config CPackConfig.cmake -G DEB -B "$scratch/out") >"$scratch/log" 2>&1 ||
  fail "cpack failed: $(cat "$scratch/log")"
deb=$scratch/out/vtpapertoollpr_${VTPAPERTOOL_DEB_VERSION}_$(dpkg --print-architecture).deb
[ "$(echo "$scratch/out"/*.deb)" = "$deb" ] || fail "cpack made $(echo "$scratch/out"/*.deb), not $deb"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package) $(field Version)" = "vtpapertoollpr $VTPAPERTOOL_DEB_VERSION" ] || fail "Package and Version: $(field Package) $(field Version)"
[ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] || fail "no Maintainer or Description field"
for needed in libc6 libstdc++6 libgcc-s1; do
  echo ", $(field Depends)" | grep -qF ", $needed " || fail "Depends lacks $needed: $(field Depends)"
done

dpkg -x "$deb" "$scratch/root" || fail "dpkg -x failed"
check_tree "$scratch/root" usr .gz
# As dpkg-gencontrol counts: KiB rounded up per file, one per link and directory.
size=$(cd "$scratch/root" && find . -printf '%y %s\n' | awk '{ k += $1 == "d" ? 1 : int(($2 + 1023) / 1024) } END { print k }')
[ "$(field Installed-Size)" = "$size" ] || fail "Installed-Size is $(field Installed-Size), not $size"

if command -v lintian >/dev/null 2>&1; then
  # A build that names no maintainer gets a placeholder on localhost, which lintian
  # rightly refuses; setting VTPAPERTOOL_MAINTAINER is the packager's part.
  lintian --fail-on error,warning --suppress-tags bogus-mail-host,bogus-mail-host-in-debian-changelog \
    "$deb" >"$scratch/log" 2>&1 || fail "lintian: $(cat "$scratch/log")"
else
  echo "skipped lintian: it is not installed"
fi
finish
