#!/bin/bash
# Times catalogues on the sample tree of lmq700k, in a scratch directory on tmpfs
# (/dev/shm) when there is one, else under $TMPDIR (or /tmp), removed again (KEEP=1 keeps
# it), and prints one table of medians for each question:
# - what one --apply of 200 new formats costs beyond the 400 starts of the sibling tool it
#   makes, with a sibling that only exits 0: the starts alone are timed from a small C loop
#   that starts the same program with the same words the way the tool does (posix_spawn,
#   no shell; bench/spawn_loop.c), and, for comparison, from bash's loop;
# - 200 formats added by 200 -n commands against one --apply, with the stand-in of tools/;
# - the same catalogue applied again against one --list;
# - one --apply of 10, 100 and 1,000 new formats, sibling exits 0, so that growth shows.
# Within each question the commands take turns, in an order that changes each round, each
# on a fresh tree, after one untimed round. Installs missing Debian packages when root.
# Usage: bash bench/catalogue.sh   (RUNS=n changes the number of timed rounds, 11 by default)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tools/deps.sh"
. "$top/bench/common.sh"
need_packages cmake=cmake g++=g++ make=make cc=gcc

runs=${RUNS:-11}
model=lmq700k

load_before=$(load_now)
make_scratch vtcatalogue
root=$work/root
inf=$root/$model/bin/inf
lpd=$root/$model/bin/lpd
sibling=$lpd/vtpapertoolcups_$model
build_tool "$model"
cc -O2 -Wall -o "$work/spawn_loop" "$top/bench/spawn_loop.c"
: >"$work/times"

# A fresh tree: the sample's data files with the stand-in ("standin") or a script that
# only exits 0 ("exit0") as the sibling, or the tree left by applying the catalogue of 200
# ("applied").
fresh() {
  rm -rf "$root"
  if [ "$1" = applied ]; then
    cp -R "$work/applied" "$root"
    return
  fi
  mkdir -p "$lpd"
  cp -R "$top/examples/$model/bin/inf" "$inf"
  if [ "$1" = standin ]; then
    cp "$top/tools/vtpapertoolcups-standin" "$sibling"
  else
    printf '#!/bin/sh\nexit 0\n' >"$sibling"
  fi
  chmod 755 "$sibling"
}

catalogue() {
  awk -v n="$1" 'BEGIN { for (i = 1; i <= n; i++) printf "F%d\t12\t%d\n", i, 20 + i % 900 }' \
    >"$work/catalogue.$1"
}

# The commands timed, each given the catalogue's size; what they print is checked after
# the clock stops (check_output).
apply() { "$tool" -P q1 --apply "$work/catalogue.$1"; }
reapply() { apply "$1"; }
list() { "$tool" --list; }
one_by_one() {
  local name width length
  while IFS="$(printf '\t')" read -r name width length; do
    "$tool" -P q1 -n "$name" -w "$width" -h "$length" || return 1
  done <"$work/catalogue.$1"
}
spawn_loop() { "$work/spawn_loop" "$sibling" "$1"; }
bash_loop() {
  local i
  for ((i = 1; i <= $1; i++)); do
    "$sibling" -P q1 -d "F$i" -show 1 && "$sibling" -P q1 -n "F$i" -w 10 -h 50 \
      -specid VtL_vtS12mm__060A032B5251 -show 1 || return 1
  done
}

# An --apply of new formats prints one "add" line for each, so that a refused call cannot
# pass for a fast one; applied again, it prints nothing.
check_output() {
  local name=$1 size=$2 added
  case $name in
    apply)
      added=$(grep -c '^add	' "$work/out" || true)
      [ "$added" -eq "$size" ] || { say "--apply added $added of $size formats"; exit 1; } ;;
    reapply)
      [ ! -s "$work/out" ] || { say "the second --apply changed something"; exit 1; } ;;
  esac
}

# Runs the command on a fresh tree and, when asked to keep it, appends
# "case name_size wall cpu" in microseconds; cpu is the user and system time of the
# command and all its children. The clock runs around the command alone.
time_one() {
  local keep=$1 case_name=$2 name=$3 tree=$4 size=$5 start end
  fresh "$tree"
  local TIMEFORMAT='%3U %3S'
  start=$(now_us)
  { time "$name" "$size" >"$work/out" 2>"$work/errors"; } 2>"$work/cpu" ||
    { say "failed: $name $size: $(cat "$work/errors")"; exit 1; }
  end=$(now_us)
  check_output "$name" "$size"
  [ "$keep" = no ] || awk -v c="$case_name" -v n="${name}_$size" -v w=$((end - start)) \
    '{ printf "%s %s %d %d\n", c, n, w, ($1 + $2) * 1e6 }' "$work/cpu" >>"$work/times"
}

# Times "name:tree:size" items in turns, after one untimed round, in an order that
# changes from round to round so that no item always follows the same one.
time_rounds() {
  local case_name=$1 round item name tree size
  shift
  say "timing $case_name: $runs rounds"
  for round in $(seq 0 "$runs"); do
    for item in $(shuffled "$round" "$@"); do
      IFS=: read -r name tree size <<<"$item"
      time_one "$([ "$round" -gt 0 ] && echo yes || echo no)" "$case_name" "$name" "$tree" "$size"
    done
  done
}

# The tree the catalogue of 200 leaves, with the stand-in's log; applying it again must
# not ask the stand-in anything.
make_applied() {
  fresh standin
  apply 200 >/dev/null
  cp -R "$root" "$work/applied"
  fresh applied
  [ -z "$(reapply 200)" ] || { say "the second --apply changed something"; exit 1; }
  cmp -s "$lpd/standin.log" "$work/applied/$model/bin/lpd/standin.log" ||
    { say "the second --apply asked the sibling tool"; exit 1; }
}

# Column 3 (wall) or 4 (cpu) of the runs of one command, in microseconds.
us_of() { awk -v c="$1" -v n="$2" -v k="${3:-3}" '$1 == c && $2 == n { print $k }' "$work/times"; }
ms_of() { awk -v u="$1" 'BEGIN { printf "%.1f", u / 1000 }'; }
median_ms() { ms_of "$(us_of "$@" | median)"; }
fastest_ms() { ms_of "$(us_of "$1" "$2" | smallest)"; }
row() {
  echo "| $3 | $(median_ms "$1" "$2") | $(fastest_ms "$1" "$2") | $(median_ms "$1" "$2" 4) |"
}
# Judged on the medians of wall time; the fastest runs' and the cpu medians' ratios beside.
ratio_row() {
  local case_name=$1 a=$2 b=$3 op=$4 target=$5 label=$6 wall
  wall=$(ratio "$(median_ms "$case_name" "$a")" "$(median_ms "$case_name" "$b")")
  echo "| $label (target $op $target) | $wall $(meets "$wall" "$op" "$target")" \
    "| $(ratio "$(fastest_ms "$case_name" "$a")" "$(fastest_ms "$case_name" "$b")")" \
    "| $(ratio "$(median_ms "$case_name" "$a" 4)" "$(median_ms "$case_name" "$b" 4)") |"
}
table_head() { printf '| %s | median ms | fastest | median cpu |\n| --- | --- | --- | --- |\n' "$1"; }

for size in 10 100 200 1000; do catalogue "$size"; done
time_rounds starts apply:exit0:200 spawn_loop:exit0:200 bash_loop:exit0:200 one_by_one:exit0:200
time_rounds standin apply:standin:200 one_by_one:standin:200
make_applied
time_rounds again reapply:applied:200 list:applied:200
time_rounds growth apply:exit0:10 apply:exit0:100 apply:exit0:1000

print_machine
echo "System log: $([ -S /dev/log ] && echo "/dev/log takes the tool's lines" ||
  echo "no /dev/log, so each line the tool logs costs one failed connect")."
echo
echo "Milliseconds of wall time (and of user + system time, children included) over $runs" \
  "rounds, after one untimed round; each run on a fresh copy of examples/$model."
echo
table_head "200 new formats, a sibling that only exits 0"
row starts apply_200 "one --apply"
row starts spawn_loop_200 "its 400 starts of the sibling alone (posix_spawn loop)"
ratio_row starts apply_200 spawn_loop_200 "<=" 1.25 "--apply / 400 starts"
row starts bash_loop_200 "400 starts from bash's loop, by path (no target)"
row starts one_by_one_200 "200 -n commands (no target)"
echo
table_head "200 new formats, the stand-in sibling"
row standin one_by_one_200 "200 -n commands"
row standin apply_200 "one --apply"
ratio_row standin one_by_one_200 apply_200 ">=" 3 "200 -n / --apply"
echo
table_head "a catalogue of 200 applied again"
row again reapply_200 "the same --apply again (no sync, no call)"
row again list_200 "one --list"
ratio_row again reapply_200 list_200 "<=" 1.5 "--apply again / --list"
echo
echo "| new formats in one --apply, sibling exits 0 | median ms | ms per format |"
echo "| --- | --- | --- |"
for size in 10 100 1000; do
  ms=$(median_ms growth "apply_$size")
  echo "| $size | $ms | $(awk -v m="$ms" -v n="$size" 'BEGIN { printf "%.2f", m / n }') |"
done
