# Sourced by the benchmarks: the scratch directory, one Release build that takes its driver
# root from VTPAPERTOOL_ROOT, medians, and the line that says what was measured where.
# The caller sets top (the work tree) and sources tools/deps.sh first.

say() { echo "$*" >&2; }

started=$(date -u '+%Y-%m-%d %H:%M UTC')

# Makes $work on tmpfs (/dev/shm) when there is one, else under $TMPDIR (or /tmp), and
# removes it on exit unless KEEP=1. Sets scratch_base and on_tmpfs for the report.
make_scratch() {
  if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ]; then
    scratch_base=/dev/shm
    on_tmpfs=yes
  else
    scratch_base=${TMPDIR:-/tmp}
    on_tmpfs=$([ "$(stat -f -c %T "$scratch_base")" = tmpfs ] && echo yes || echo no)
  fi
  work=$(mktemp -d "$scratch_base/$1.XXXXXX")
  if [ "${KEEP:-0}" = 1 ]; then say "keeping $work"; else trap 'rm -rf "$work"' EXIT; fi
}

# Builds the shipped program in Release, with no root built in, links it as the model's
# name, and points VTPAPERTOOL_ROOT at $work/root. Sets tool.
build_tool() {
  model=$1
  say "building in Release in $work/build"
  cmake -S "$top" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DVTPAPERTOOL_TESTS=OFF \
    >"$work/build.log"
  cmake --build "$work/build" -j "$(nproc 2>/dev/null || echo 2)" >>"$work/build.log"
  tool="$work/vtpapertoollpr_$model"
  ln -sf "$work/build/vtpapertoollpr" "$tool"
  export VTPAPERTOOL_ROOT="$work/root"
}

# The median and the smallest of the numbers on standard input, one a line.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
smallest() { sort -n | head -n 1; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
meets() { awk -v v="$1" -v op="$2" -v t="$3" 'BEGIN {
  ok = (op == "<=") ? v <= t : v >= t; print ok ? "yes" : "**no**" }'; }

# The arguments, one per line, in an order that changes from round to round. Turning them
# like a wheel would not do: each would always follow the same one, and what that one
# leaves the kernel to clean up (sed's freed pages above all) would fall on it alone.
shuffled() {
  seed=$1
  shift
  printf '%s\n' "$@" |
    awk -v seed="$seed" 'BEGIN { srand(seed * 7919 + 17); rand() } { print rand() "\t" $0 }' |
    sort -n | cut -f 2-
}

# Microseconds since the epoch (bash 5).
now_us() { echo "${EPOCHREALTIME/./}"; }

load_now() { cut -d' ' -f1-3 /proc/loadavg; }

# What was measured, where and when; load_before is the caller's.
print_machine() {
  local source_state="" commit
  if commit=$(git -C "$top" rev-parse --short HEAD 2>/dev/null); then
    source_state="; source at $commit"
    git -C "$top" --no-optional-locks diff --quiet HEAD -- src CMakeLists.txt 2>/dev/null ||
      source_state="$source_state with uncommitted changes to src/ or CMakeLists.txt"
  fi
  echo "Started $started; $(nproc) cores," \
    "$(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)," \
    "$(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo) memory," \
    "Linux $(uname -r)$source_state."
  echo "Data on $scratch_base (tmpfs: $on_tmpfs). Load average before: $load_before;" \
    "after: $(load_now)."
}
