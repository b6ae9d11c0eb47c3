#!/bin/sh
# Builds the Debian package as the README does, from a copy of the source tree (the build
# writes into the tree and beside it), and checks it: its version, no lintian error or
# warning, the maintainer that VTPAPERTOOL_MAINTAINER names; installed with dpkg, what
# check_tree expects; purged, nothing of it left. Exits 77 (skipped) when not root, without
# the packaging tools, or when the package is installed already.
# Usage: deb.sh "<model ids>"
set -u
models=$1
[ "$(id -u)" -eq 0 ] || { echo "skipped: installing a package needs root" && exit 77; }
for tool in dpkg-buildpackage dh lintian; do
  command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed" && exit 77; }
done
case $(dpkg-query -W -f '${db:Status-Status}' vtpapertoollpr 2>/dev/null) in
  '' | not-installed) ;;
  *) echo "skipped: vtpapertoollpr is installed here, and the test would replace it" && exit 77 ;;
esac
. "$(dirname "$0")/common.sh"
# lintian leaves files in the temporary folder.
export TMPDIR="$scratch"
# The first build shows what a packager gets who names no maintainer.
unset VTPAPERTOOL_MAINTAINER

tree=$scratch/vtpapertoollpr
mkdir "$tree" && (cd "$src" && tar -cf - --exclude=./.git --exclude=./build --exclude='./build-*' .) |
  (cd "$tree" && tar -xf -) || fail "could not copy the source tree"
# What the package holds is judged against the copy, whatever happens to the tree meanwhile.
src=$tree
(cd "$tree" && dpkg-buildpackage -us -uc -b) >"$scratch/log" 2>&1 ||
  { fail "dpkg-buildpackage failed: $(tail -40 "$scratch/log")" && finish; }
version=$(dpkg-parsechangelog -l "$tree/debian/changelog" -S Version)
case $version in
  "$VTPAPERTOOL_VERSION"-[0-9]*) ;;
  *) fail "debian/changelog's version $version is not project()'s $VTPAPERTOOL_VERSION and a revision" ;;
esac
deb=$scratch/vtpapertoollpr_${version}_$(dpkg --print-architecture).deb
lintian --fail-on error,warning "$scratch"/*.changes >"$scratch/log" 2>&1 || fail "lintian: $(cat "$scratch/log")"
# debian/copyright holds LICENSE's text, as Debian's format wants it.
sed -n '/^Permission/,$p' "$src/LICENSE" >"$scratch/license"
sed -n '/^ Permission/,$s/^ \.\{0,1\}//p' "$src/debian/copyright" | cmp -s "$scratch/license" - ||
  fail "debian/copyright does not hold the licence of LICENSE"

who="Package Test <package-test@example.org>"
(cd "$tree" && VTPAPERTOOL_MAINTAINER=$who dpkg-buildpackage -us -uc -b -nc) >"$scratch/log" 2>&1 ||
  { fail "dpkg-buildpackage with a maintainer failed: $(tail -40 "$scratch/log")" && finish; }
[ "$(dpkg-deb -f "$deb" Maintainer)" = "$who" ] || fail "Maintainer is $(dpkg-deb -f "$deb" Maintainer), not $who"

# The folders the package brings that are not here yet must go again with it.
dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|^\.\(/.*[^/]\)/$|\1|p' | while IFS= read -r dir; do
  [ -d "$dir" ] || echo "$dir"
done >"$scratch/new-folders"
trap 'dpkg --purge vtpapertoollpr >/dev/null 2>&1; rm -rf "$scratch"' EXIT
# All of it, even what this machine's dpkg may be set to leave out, such as manual pages.
dpkg --path-include='/*' -i "$deb" >"$scratch/log" 2>&1 || { fail "dpkg -i failed: $(cat "$scratch/log")" && finish; }
installed() {
  dpkg -L vtpapertoollpr | while IFS= read -r path; do
    if [ -L "$path" ]; then
      echo ".$path -> $(readlink "$path")"
    elif [ ! -e "$path" ]; then
      echo ".$path (missing)"
    elif [ ! -d "$path" ]; then
      echo ".$path"
    fi
  done
}
check_tree "" usr deb installed
# ansible-core finds each module of the collection where the package put it.
for module in $(cd "$src/ansible/ansible_collections/vantrel/vtpapertoollpr/plugins/modules" && ls [!_]*.py); do
  module=vantrel.vtpapertoollpr.${module%.py}
  ! command -v ansible-doc >/dev/null || ANSIBLE_LOCAL_TEMP=$scratch ansible-doc "$module" 2>&1 |
    grep -q "^> .*(/usr/share/ansible/" || fail "ansible-doc does not find $module under /usr/share/ansible"
done

dpkg --purge vtpapertoollpr >"$scratch/log" 2>&1 || fail "dpkg --purge failed: $(cat "$scratch/log")"
case $(dpkg-query -W -f '${db:Status-Status}' vtpapertoollpr 2>/dev/null) in
  '' | not-installed) ;;
  *) fail "vtpapertoollpr is still installed after the purge" ;;
esac
sed 's/ -> .*//; s/^\.//' "$scratch/tree.got" | cat - "$scratch/new-folders" | while IFS= read -r path; do
  [ ! -e "$path" ] && [ ! -L "$path" ] || echo "$path"
done >"$scratch/left"
[ ! -s "$scratch/left" ] || fail "the purge left: $(cat "$scratch/left")"
finish
