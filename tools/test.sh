#!/bin/sh
# Builds and runs the whole test suite: once as shipped, once under AddressSanitizer and
# UndefinedBehaviorSanitizer. Installs missing Debian packages when run as root.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tools/deps.sh"
need_packages cmake=cmake g++=g++ make=make /usr/include/gtest/gtest.h=libgtest-dev \
  groff=groff-base dpkg-shlibdeps=dpkg-dev dpkg-deb=dpkg gzip=gzip

jobs=$(nproc 2>/dev/null || echo 2)

passed=0
failed=0
run_suite() {
  dir=$1
  shift
  cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVTPAPERTOOL_TESTS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs" >/dev/null
  status=0
  (cd "$dir" && ctest --output-on-failure -j "$jobs") >"$dir/ctest.out" 2>&1 || status=$?
  cat "$dir/ctest.out"
  summary=$(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\1 \2/p' "$dir/ctest.out")
  set -- $summary
  failed=$((failed + ${1:-1}))
  passed=$((passed + ${2:-0} - ${1:-0}))
  if [ "$status" -ne 0 ]; then
    echo "suite: $passed passed, $failed failed"
    exit "$status"
  fi
}

echo "== tests"
run_suite "$top/build/test"
echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
run_suite "$top/build/sanitize" -DCMAKE_CXX_FLAGS="$sanitize" -DCMAKE_EXE_LINKER_FLAGS="$sanitize"
echo "== fuzzing"
sh "$top/tools/fuzz.sh"
echo "suite: $passed passed, $failed failed"
