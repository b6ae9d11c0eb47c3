#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for a bounded time, starting
# from the seed corpus in fuzz/corpus/<target>/. Fails on any finding; the input that
# caused it is left in build/fuzz/findings/. Usage: tools/fuzz.sh [seconds per target]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
. "$top/tools/deps.sh"
need_packages clang++-14=clang-14
need_packages "$(clang++-14 -print-runtime-dir)/libclang_rt.fuzzer-x86_64.a=libclang-rt-14-dev"

build=$top/build/fuzz
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DVTPAPERTOOL_FUZZ=ON -DVTPAPERTOOL_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target command_line_fuzz data_store_fuzz >/dev/null

mkdir -p "$build/findings" "$build/tmp"
# The data store target writes its scratch file there rather than in /tmp.
export TMPDIR="$build/tmp"
for target in command_line data_store; do
  echo "== fuzz $target for ${seconds}s"
  # New inputs go to a scratch corpus, so the seeds in the repository stay as they are.
  mkdir -p "$build/corpus/$target"
  log=$build/$target.log
  if ! "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/findings/$target-" \
    "$build/corpus/$target" "$top/fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzz $target: finding, see $build/findings/" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  echo "fuzz $target: $runs executions, $rate per second, no finding"
done
