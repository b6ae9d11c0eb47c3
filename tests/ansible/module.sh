#!/bin/sh
# Runs the collection's modules in a playbook against localhost on a throwaway driver tree,
# with the test build of the tool (on the PATH as vtpapertoollpr_lmq700k) and the sibling
# stand-in, and a second tree whose Asset24 lacks its ImagingArea line.
# Usage: module.sh <test build of the tool> (77 when ansible-core is missing)
set -eu
command -v ansible-playbook >/dev/null || { echo "ansible-core is not installed"; exit 77; }
twin=$1
src=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/vtpapertool-ansible.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
for tree in root broken; do
  mkdir -p "$scratch/$tree/lmq700k/bin/lpd"
  cp -R "$src/examples/lmq700k/bin/inf" "$scratch/$tree/lmq700k/bin/"
done
cp "$src/tools/vtpapertoolcups-standin" "$scratch/root/lmq700k/bin/lpd/vtpapertoolcups_lmq700k"
sed -i '/^VtL/d' "$scratch/broken/lmq700k/bin/inf/ImagingArea"
mkdir "$scratch/bin" "$scratch/tmp"
ln -s "$twin" "$scratch/bin/vtpapertoollpr_lmq700k"
export PATH="$scratch/bin:$PATH" ANSIBLE_COLLECTIONS_PATH="$src/ansible" \
  ANSIBLE_LOCAL_TEMP="$scratch/tmp" ANSIBLE_REMOTE_TEMP="$scratch/tmp" ANSIBLE_NOCOLOR=1 \
  ANSIBLE_RETRY_FILES_ENABLED=0
ansible-playbook -i localhost, -c local -e "scratch=$scratch ansible_python_interpreter=/usr/bin/python3" \
  "$src/tests/ansible/playbook.yml"
