#!/bin/bash
# Times the add and delete commands on large and small driver data files against the
# cheapest way to do the same all or nothing (cat, and the sibling tool started directly)
# and against GNU sed -i, measures peak memory, and prints tables of medians. Everything it
# needs it makes in a scratch directory on tmpfs (/dev/shm) when there is one, and removes
# it again; KEEP=1 keeps it. Installs missing Debian packages when run as root.
# Usage: bash bench/run.sh   (RUNS=n and SMALL_RUNS=n change the number of timed runs)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tools/deps.sh"
. "$top/bench/common.sh"
need_packages cmake=cmake g++=g++ make=make /usr/bin/time=time sed=sed awk=mawk

runs=${RUNS:-11}
small_runs=${SMALL_RUNS:-41}
model=lmq700k
mib=1048576

load_before=$(load_now)
make_scratch vtbench
root="$work/root"
inf="$root/$model/bin/inf"
lpd="$root/$model/bin/lpd"
sets="$work/sets"
func="$inf/vt${model}func"
paper="$inf/paperinf$model"
area="$inf/ImagingArea"
rc="$inf/vt${model}rc"
sibling="$lpd/vtpapertoolcups_$model"
add_words="-P q1 -n Tube12 -w 12 -h 50"

# 16 MiB of ordinary lines of 30 to 80 bytes; one line in a thousand is some other custom
# format's entry, so the key lookup has look-alikes to reject.
make_body() {
  awk -v size=$((16 * mib)) 'BEGIN {
    srand(7)
    pad = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyz"
    for (n = 0; total < size; n++) {
      if (n % 1000 == 999) {
        line = sprintf("VtL_vtS12mm__0A0C0320%04X/Other%05d", n % 65536, n % 100000)
      } else {
        length_wanted = 29 + int(rand() * 51)
        line = sprintf("vtM%07d=", n)
        line = line substr(pad, 1 + n % 7, length_wanted - length(line))
      }
      print line
      total += length(line) + 1
    }
  }'
}

function_header() {
  printf '%s\n' "; Function file made up for the benchmark." "[Device]" "Resolution=360" \
    "[Media]" "vtS12mm=Standard 12mm" "vtS24mm=Standard 24mm" "[CustomTape]"
}

settings_file() { printf '%s\n' "Media=vtS12mm" "Copies=1" "AutoCut=1" "Density=0"; }

# A set of ordinary-line data files of copies times 16 MiB each.
make_set() {
  name=$1 copies=$2
  mkdir -p "$sets/$name"
  { function_header; for _ in $(seq "$copies"); do cat "$work/body"; done; } \
    >"$sets/$name/vt${model}func"
  { printf 'vtS12mm/12mm:\t150\t0\n'; for _ in $(seq "$copies"); do cat "$work/body"; done; } \
    >"$sets/$name/paperinf$model"
  { printf 'vtS12mm\t:\t0.00\t0.00\t30.00\t0.00\n'; for _ in $(seq "$copies"); do cat "$work/body"; done; } \
    >"$sets/$name/ImagingArea"
  settings_file >"$sets/$name/vt${model}rc"
}

# One 64 MiB line in every data file (the function file also has its header line): the
# reader must then hold a whole line at once, the worst case for its memory.
make_long_line_set() {
  mkdir -p "$sets/longline"
  { head -c $((64 * mib - 1)) /dev/zero | tr '\0' 'x'; echo; } >"$work/longline"
  { echo "[CustomTape]"; cat "$work/longline"; } >"$sets/longline/vt${model}func"
  cp "$work/longline" "$sets/longline/paperinf$model"
  cp "$work/longline" "$sets/longline/ImagingArea"
  settings_file >"$sets/longline/vt${model}rc"
  rm "$work/longline"
}

make_small_set() {
  mkdir -p "$sets/small"
  cp "$top/examples/$model/bin/inf/"* "$sets/small/"
}

# The state after one add, with the key the add chose, for the delete runs.
make_added_set() {
  from=$1 name=$2
  restore "$from"
  "$tool" $add_words >/dev/null
  mkdir -p "$sets/$name"
  cp "$inf/"* "$sets/$name/"
  grep -o 'VtL[^/]*/Tube12$' "$func" | head -n 1 | cut -d/ -f1 >"$work/key.$name"
}

trivial_sibling() { printf '#!/bin/sh\nexit 0\n' >"$sibling" && chmod 755 "$sibling"; }

real_sibling() { cp "$top/tools/vtpapertoolcups-standin" "$sibling" && chmod 755 "$sibling"; }

write_helpers() {
  cat >"$work/restore.sh" <<EOF
cp "$sets/\$1/"* "$inf/" && rm -f "$lpd/standin.log" "$lpd/standin.registry"
EOF
  # The least an all-or-nothing add must read and write: the function file and the paper
  # table in full for the look-ups (the name is absent, and every key held there is one
  # the new key must differ from), then a copy of each of the three files it changes
  # beside it, the two sibling runs (no add can do without them), and only then the
  # renames. Until the renames the old and the new files are all held at once, as they
  # must be for the change to be undone. The tool starts the sibling tool directly, so the
  # floor does too: sh forks and execs it, with no sh -c between.
  cat >"$work/floor-add.sh" <<EOF
cat "$func" >/dev/null
cat "$paper" >/dev/null
for f in "$func" "$paper" "$area"; do cat "\$f" >"\$f.new"; done
"$sibling" -P q1 -d Tube12 -show 1
"$sibling" -P q1 -n Tube12 -w 10 -h 50 -specid VtL_vtS12mm__060A032F1234 -show 1
for f in "$func" "$paper" "$area"; do mv -f "\$f.new" "\$f"; done
EOF
  # A delete reads both files in full too: a name may stand under more than one key.
  cat >"$work/floor-delete.sh" <<EOF
cat "$func" >/dev/null
cat "$paper" >/dev/null
for f in "$func" "$paper" "$rc" "$area"; do cat "\$f" >"\$f.new"; done
"$sibling" -P q1 -d Tube12 -show 1
for f in "$func" "$paper" "$rc" "$area"; do mv -f "\$f.new" "\$f"; done
EOF
  # Not a target: the same floors reading ImagingArea and the settings file in full
  # first as well, as the tool does to hold one model of all the formats. Neither file is
  # needed to add or delete one format, so the targets stay on the floors above; this one
  # shows what that reading would cost at cat's speed.
  { echo "cat \"$area\" \"$rc\" >/dev/null"; cat "$work/floor-add.sh"; } >"$work/four-add.sh"
  { echo "cat \"$area\" \"$rc\" >/dev/null"; cat "$work/floor-delete.sh"; } >"$work/four-delete.sh"
  cat >"$work/sed-add.sh" <<EOF
sed -i '/\[CustomTape\]/a VtL_vtS12mm__060C032F1234/Tube12' "$func"
sed -i '\$a VtL_vtS12mm__060C032F1234/Tube12:\t128\t708' "$paper"
sed -i '\$a VtL_vtS12mm__060C032F1234\t:\t0.00\t0.00\t25.60\t141.52' "$area"
EOF
  # Two sibling runs started directly, as the tool starts them.
  cat >"$work/floor-small.sh" <<EOF
"$sibling" -P q1 -d Tube12 -show 1
"$sibling" -P q1 -n Tube12 -w 10 -h 50 -specid VtL_vtS12mm__060A032F1234 -show 1
EOF
}

write_sed_delete() {
  key=$(cat "$work/key.$1")
  # An empty key would make sed reuse its last pattern and time the wrong edit.
  [ -n "$key" ] || { say "the add left no key for Tube12 in $func"; exit 1; }
  printf 'sed -i /%s/d "%s" "%s" "%s" "%s"\n' "$key" "$func" "$paper" "$rc" "$area" \
    >"$work/sed-delete.sh"
}

restore() { sh "$work/restore.sh" "$1"; }

# Times the named commands (name=command pairs) count times each, taking turns so that
# a change in the machine's load falls on all of them alike, after one untimed round.
# The set is restored, untimed, before every run. Appends "case,name,wall,cpu,user"
# lines in seconds; cpu is the user and system time of the command and all its children,
# user the user time alone.
time_commands() {
  case_name=$1 set=$2 count=$3
  shift 3
  say "timing $case_name: $count runs each"
  for round in $(seq 0 "$count"); do
    while IFS= read -r pair; do
      restore "$set"
      spent=$(run_timed ${pair#*=}) || { say "failed: ${pair#*=}"; exit 1; }
      [ "$round" -eq 0 ] || echo "$case_name,${pair%%=*},$spent" >>"$work/times.csv"
    done <<EOF
$(shuffled "$round" "$@")
EOF
  done
}

# Prints "wall,cpu,user" in seconds for one run of the command; fails when the command
# does. Its standard input is not the list of commands that time_commands reads.
run_timed() {
  local TIMEFORMAT='%3R %3U %3S' spent
  spent=$( { time "$@" </dev/null >/dev/null 2>&1; } 2>&1) || return 1
  echo "$spent" | awk '{ printf "%s,%.3f,%s", $1, $2 + $3, $2 }'
}

# Median peak resident memory in KiB of the add command over count runs on set.
peak_memory() {
  set=$1 count=$2
  for _ in $(seq "$count"); do
    restore "$set"
    /usr/bin/time -v "$tool" $add_words 2>&1 >/dev/null |
      awk -F': ' '/Maximum resident set size/ { print $2 }'
  done | median
}

# Column 3 (wall), 4 (cpu) or 5 (user) of the runs of one command.
runs_of() {
  awk -F, -v c="$1" -v n="$2" -v k="${3:-3}" '$1 == c && $2 == n { print $k }' "$work/times.csv"
}
median_of() { runs_of "$@" | median; }
# The fastest run of one command: what it costs when the machine lets it.
fastest_of() { runs_of "$1" "$2" 3 | smallest; }
ms() { awk -v s="$1" 'BEGIN { printf "%.0f", s * 1000 }'; }
mib_of() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }

# "wall ms (cpu ms, of which user ms)" of one command.
time_cell() {
  echo "$(ms "$(median_of "$1" "$2" 3)") ms (cpu $(ms "$(median_of "$1" "$2" 4)")," \
    "user $(ms "$(median_of "$1" "$2" 5)"))"
}

# "ratio met (cpu ratio)" of a over b, judged on wall time against target.
ratio_cell() {
  case_name=$1 a=$2 b=$3 op=$4 target=$5
  wall=$(ratio "$(median_of "$case_name" "$a" 3)" "$(median_of "$case_name" "$b" 3)")
  cpu=$(ratio "$(median_of "$case_name" "$a" 4)" "$(median_of "$case_name" "$b" 4)")
  echo "$wall $(meets "$wall" "$op" "$target") (cpu $cpu)"
}

fastest_ratio() { ratio "$(fastest_of "$1" "$2")" "$(fastest_of "$1" "$3")"; }

print_large_rows() {
  echo "| 64 MiB per file | tool | all-or-nothing floor | tool / floor (target <= 1.15)" \
    "| tool / floor, fastest runs |"
  echo "| --- | --- | --- | --- | --- |"
  for command in add delete; do
    echo "| $command | $(time_cell $command tool) | $(time_cell $command floor)" \
      "| $(ratio_cell $command tool floor "<=" 1.15) | $(fastest_ratio $command tool floor) |"
  done
  echo
  echo "| 64 MiB per file | sed -i | sed / tool (target >= 3.5) | four-file floor (no target)" \
    "| tool / four-file floor |"
  echo "| --- | --- | --- | --- | --- |"
  for command in add delete; do
    echo "| $command | $(time_cell $command sed) | $(ratio_cell $command sed tool ">=" 3.5)" \
      "| $(time_cell $command four)" \
      "| $(ratio "$(median_of $command tool)" "$(median_of $command four)") |"
  done
}

# The entries (lines that start with a key) the set's three entry files hold.
entries_in() {
  cat "$sets/$1/vt${model}func" "$sets/$1/paperinf$model" "$sets/$1/ImagingArea" | grep -c '^VtL'
}

print_memory_row() {
  echo "| $1 | $2 | $(mib_of "$3") | <= $(mib_of "$4") | $(meets "$3" "<=" "$4") |"
}

print_table() {
  print_machine
  echo "$(sed --version | head -n 1); $(cat --version | head -n 1)."
  echo
  echo "Medians of wall time (and of user + system time, children included, and of user time" \
    "alone) over $runs runs ($small_runs for small files), after one untimed round;" \
    "add = \`$add_words\`."
  echo
  print_large_rows
  echo
  echo "| peak resident memory of add | entries on file | measured | target | met |"
  echo "| --- | --- | --- | --- | --- |"
  print_memory_row "16 MiB per file" "$entries16" "$mem16" 8192
  print_memory_row "256 MiB per file" "$entries256" "$mem256" 8192
  print_memory_row "one 64 MiB line per file" 0 "$memlong" $((2 * 65536 + 8192))
  echo
  echo "| small files (examples/$model), stand-in sibling | tool | two stand-in runs" \
    "| tool / floor (target <= 1.25) | fastest runs |"
  echo "| --- | --- | --- | --- | --- |"
  echo "| add | $(time_cell small tool) | $(time_cell small floor)" \
    "| $(ratio_cell small tool floor "<=" 1.25) | $(fastest_ratio small tool floor) |"
}

build_tool "$model"
mkdir -p "$inf" "$lpd"
trivial_sibling
write_helpers
say "making data in $work"
make_body >"$work/body"
make_set mb16 1
make_set mb64 4
make_set mb256 16
make_long_line_set
make_small_set
rm "$work/body"
make_added_set mb64 mb64added
write_sed_delete mb64added
: >"$work/times.csv"

time_commands add mb64 "$runs" "tool=$tool $add_words" "floor=sh $work/floor-add.sh" \
  "four=sh $work/four-add.sh" "sed=sh $work/sed-add.sh"
time_commands delete mb64added "$runs" "tool=$tool -P q1 -d Tube12" \
  "floor=sh $work/floor-delete.sh" "four=sh $work/four-delete.sh" "sed=sh $work/sed-delete.sh"
say "measuring peak memory: 5 runs each"
mem16=$(peak_memory mb16 5)
mem256=$(peak_memory mb256 5)
entries16=$(entries_in mb16)
entries256=$(entries_in mb256)
memlong=$(peak_memory longline 5)
rm -rf "$sets/mb256" "$sets/longline"
real_sibling
time_commands small small "$small_runs" "tool=$tool $add_words" "floor=sh $work/floor-small.sh"
print_table
