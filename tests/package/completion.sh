#!/bin/bash
# The bash completion, called as bash calls it, against a stand-in for the tool's --list
# and a printcap of our own. Each reply is read back as bash reads it after the word
# typed so far (and its open quote), so a quoting fault shows as a wrong name.
set -u
. "$(dirname "$0")/common.sh"
. "$src/completion/vtpapertoollpr.bash"

# --list as the tool prints it: '\\', '\t' and octal escapes; '%' and a digit after an
# octal escape must come through as they are.
printf '%s\t-\t-\tVtL__________061D05AC633C\t-\n' Tube12 "It's \"a\"\\tb" 'T\\$HOME%s\0331' >"$scratch/list"
# The completion must run the command as typed: only rk260 is on PATH.
lmq=$scratch/dir/vtpapertoollpr_lmq700k && mkdir "$scratch/dir" && printf '#!/bin/sh\n[ "$*" = --list ] && cat "%s"\n' "$scratch/list" >"$lmq"
chmod +x "$lmq" && ln -s "$lmq" "$scratch/vtpapertoollpr_rk260"
PATH=$scratch:$PATH
export VTPAPERTOOL_PRINTCAP=$scratch/printcap
printf '# lp3|x:\nlp|main office :sd=/a\n  :lp=/dev/x|y:\n|z:\n:w:\nq2\\\n\t:sd=/b:\n\nlast' >"$VTPAPERTOOL_PRINTCAP"

# check <replies read back, '|' between, %b escapes> <word>...: completes the last word.
check() {
  local expected got= reply cur quote
  printf -v expected %b "$1"
  shift
  COMP_WORDS=("$@") COMP_CWORD=$(($# - 1))
  cur=${COMP_WORDS[COMP_CWORD]#[\'\"]} && quote=${COMP_WORDS[COMP_CWORD]%"$cur"}
  _vtpapertoollpr "$1" "$cur" "${COMP_WORDS[COMP_CWORD - 1]}"
  for reply in "${COMPREPLY[@]}"; do
    eval "reply=$quote$reply$quote"
    got+=${got:+|}$reply
  done
  [[ $got == "$expected" ]] || fail "$*: got [$got], not [$expected]"
}

check '-P|-n|-d|-w|-h|--apply|--delete-listed|--prune|--allow-empty|--dry-run|--list|--check|--repair|--export|--model|--version|--help' vtpapertoollpr_lmq700k ''
check '-P|-n|-d|-w|-h|--apply|--delete-listed|--prune|--allow-empty|--dry-run' vtpapertoollpr_rk260 -P lp ''
check '--delete-listed|--dry-run' vtpapertoollpr_rk260 -P lp --prune --d
check '--dry-run' vtpapertoollpr_rk260 -P lp --allow-empty --dr
check '4|6|9|12|18|24|36' vtpapertoollpr_lmq700k --dry-run -P lp -w ''
check 'lp|q2|last' vtpapertoollpr_lmq700k -P ''
check '4|6|9|12|18|24|36' vtpapertoollpr_lmq700k -P lp -w ''
check '' vtpapertoollpr_rk260 -w ''
check 'Tube12|It'\''s "a"\tb|T\\$HOME%s\e1' vtpapertoollpr_rk260 -d ''
check 'It'\''s "a"\tb' "$lmq" -P lp -n It
check 'T\\$HOME%s\e1' "$lmq" -d 'T\\\$H'
check 'It'\''s "a"\tb' "$lmq" -d "'It"
check 'It'\''s "a"\tb' "$lmq" -d '"It'
check 'T\\$HOME%s\e1' "$lmq" -d '"T\\'
check '' vtpapertoollpr ''
finish
