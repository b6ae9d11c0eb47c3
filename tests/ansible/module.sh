#!/bin/sh
# Runs the Ansible module's playbook against localhost on a throwaway driver tree, with the
# test build of the tool and the sibling stand-in, and checks that ansible-doc shows the
# module. Usage: module.sh <test build of the tool> (77 when ansible-core is missing)
set -eu
twin=$1
src=$(cd "$(dirname "$0")/../.." && pwd)
command -v ansible-playbook >/dev/null && command -v ansible-doc >/dev/null ||
  { echo "ansible-core is not installed"; exit 77; }
scratch=$(mktemp -d "${TMPDIR:-/tmp}/vtpapertool-ansible.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
mkdir -p "$root/lmq700k/bin/lpd" "$scratch/tmp"
cp -R "$src/examples/lmq700k/bin/inf" "$root/lmq700k/bin/"
cp "$src/tools/vtpapertoolcups-standin" "$root/lmq700k/bin/lpd/vtpapertoolcups_lmq700k"
ln -s "$twin" "$scratch/vtpapertoollpr_lmq700k"
export ANSIBLE_LOCAL_TEMP="$scratch/tmp" ANSIBLE_REMOTE_TEMP="$scratch/tmp" ANSIBLE_NOCOLOR=1 \
  ANSIBLE_RETRY_FILES_ENABLED=0
ansible-doc -M "$src/ansible" vtpapertoollpr_formats >"$scratch/doc"
grep -q 'Makes the custom label formats of one printer model' "$scratch/doc" || { echo "ansible-doc shows no module"; exit 1; }
ansible-playbook -i localhost, -c local -M "$src/ansible" \
  -e "root=$root tool=$scratch/vtpapertoollpr_lmq700k ansible_python_interpreter=/usr/bin/python3" \
  "$src/tests/ansible/playbook.yml"
