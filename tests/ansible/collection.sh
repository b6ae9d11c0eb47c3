#!/bin/sh
# Checks the collection as ansible-galaxy and ansible-test see it, in a copy placed where
# ansible-test needs it: <scratch>/ansible_collections/vantrel/vtpapertoollpr.
# Usage: collection.sh sanity|validate <the project's version>
#   sanity:   builds the collection, whose version must be the project's (0.2 is 0.2.0) and
#             whose LICENSE the project's, then runs every ansible-test sanity test that
#             needs nothing from PyPI;
#   validate: runs validate-modules and runtime-metadata, which ansible-test would run in a
#             virtual environment it fills from PyPI, directly with ansible-core's scripts and
#             python3-voluptuous, honouring tests/sanity/ignore-2.14.txt; and ansible-doc.
# Exit 77 when ansible-core, or for validate python3-voluptuous, is missing.
set -eu
command -v ansible-test >/dev/null && command -v ansible-galaxy >/dev/null ||
  { echo "ansible-core is not installed"; exit 77; }
mode=$1
version=$(echo "$2" | awk -F. '{ printf "%d.%d.%d", $1, $2, $3 }')
src=$(cd "$(dirname "$0")/../.." && pwd)
name=vantrel/vtpapertoollpr
py=$(sed -n '1s/^#! *//p' "$(command -v ansible-test)")
scratch=$(mktemp -d "${TMPDIR:-/tmp}/vtpapertool-collection.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
coll=$scratch/ansible_collections/$name
mkdir -p "$coll" "$scratch/home"
(cd "$src/ansible/ansible_collections/$name" && tar cf - --exclude __pycache__ .) | (cd "$coll" && tar xf -)
cd "$coll"
fail() { echo "$*"; exit 1; }

if [ "$mode" = sanity ]; then
  cmp -s "$src/LICENSE" LICENSE || fail "the collection's LICENSE is not the project's"
  ansible-galaxy collection build --output-path "$scratch/built" . >/dev/null
  [ -f "$scratch/built/vantrel-vtpapertoollpr-$version.tar.gz" ] ||
    fail "galaxy.yml's version is not the project's $version: built $(ls "$scratch/built")"
  # Each skipped test installs its requirements from PyPI into a virtual environment, so
  # none can run offline; validate-modules and runtime-metadata run in the validate mode.
  pyversion=$($py -c 'import sys; print("%d.%d" % sys.version_info[:2])')
  HOME=$scratch/home ansible-test sanity --local --python "$pyversion" --color no \
    --skip-test ansible-doc --skip-test import --skip-test pep8 --skip-test pylint \
    --skip-test runtime-metadata --skip-test validate-modules --skip-test yamllint
  exit
fi

$py -c 'import voluptuous' 2>/dev/null || { echo "python3-voluptuous is not installed"; exit 77; }
scripts=$($py -c 'import ansible_test, os; print(os.path.dirname(ansible_test.__file__))')/_util/controller/sanity
export ANSIBLE_COLLECTIONS_PATH="$scratch" ANSIBLE_LIBRARY=/dev/null
# What ansible-test gives validate-modules: the collection's path and version, the modules,
# and the option that runs each module to hold its arguments to its documentation (--arg,
# which argparse takes for the whole option's name); it reads the errors from standard
# output, and status 3 means there are some.
status=0
$py "$scripts/validate-modules/validate.py" --format plain --arg --collection "ansible_collections/$name" \
  --collection-version "$(sed -n 's/^version: *//p' galaxy.yml)" plugins/modules/*.py \
  >"$scratch/found" 2>"$scratch/err" || status=$?
[ "$status" -eq 0 ] || [ "$status" -eq 3 ] || fail "validate-modules exited with status $status: $(cat "$scratch/err")"
[ ! -s "$scratch/err" ] || fail "validate-modules: $(cat "$scratch/err")"
sed 's/^\([^ ]*\) \([^ ]*\).*/\1 \2/' tests/sanity/ignore-2.14.txt >"$scratch/ignored"
sed 's/^\([^:]*\):[0-9]*:[0-9]*: E\([^ ]*\) .*/\1 validate-modules:\2/' "$scratch/found" |
  grep -vxF -f "$scratch/ignored" && fail "validate-modules found the errors above: $(cat "$scratch/found")"
$py "$scripts/code-smell/runtime-metadata.py" meta/runtime.yml | grep . && fail "runtime-metadata found the errors above"
for module in formats formats_info; do
  ansible-doc "vantrel.vtpapertoollpr.$module" >/dev/null 2>"$scratch/err" && [ ! -s "$scratch/err" ] ||
    fail "ansible-doc vantrel.vtpapertoollpr.$module: $(cat "$scratch/err")"
done
