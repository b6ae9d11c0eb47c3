#!/bin/sh
# Builds and runs the whole test suite: once as shipped, once under AddressSanitizer and
# UndefinedBehaviorSanitizer, then fuzzing. Installs missing Debian packages when run as
# root. Says what it is doing as it goes: each phase as it starts, each test as it ends, and
# every 30 s while installing, building, a long test or fuzzing goes on without a word.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
started=$(date +%s)
. "$top/tools/deps.sh"
# Everything the three phases need, fuzzing's clang and the Debian package's build included,
# is installed before the first build, so that no phase stops half-way for a package.
need_packages cmake=cmake g++=g++ make=make /usr/include/gtest/gtest.h=libgtest-dev \
  groff=groff-base ansible-playbook=ansible-core /usr/lib/python3/dist-packages/voluptuous/__init__.py=python3-voluptuous \
  dpkg-buildpackage=dpkg-dev dh=debhelper lintian=lintian /usr/share/build-essential/list=build-essential \
  clang++-14=clang-14 /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a=libclang-rt-14-dev

jobs=$(nproc 2>/dev/null || echo 2)
elapsed() { echo "$(($(date +%s) - started)) s so far"; }
echo "suite: 3 phases on $jobs cores; about 5 minutes on 2 idle cores, up to 20 on a loaded machine"

build_quietly() { cmake --build "$1" -j "$jobs" >/dev/null; }
# Each line as it comes; the status goes through a file, as sh has no pipefail.
run_ctest() {
  { (cd "$1" && ctest --output-on-failure -j "$jobs" $ctest_filter) 2>&1 &&
    echo 0 >"$1/ctest.status" || echo $? >"$1/ctest.status"; } | tee "$1/ctest.out"
}

# The package tests check what the build installs, not how the code runs, so the
# sanitizer build runs only the program's own tests; each test is counted once.
run_suite() {
  dir=$1
  shift
  echo "building in ${dir#"$top"/} ($(elapsed))"
  cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVTPAPERTOOL_TESTS=ON "$@" >/dev/null
  ticking "building in ${dir#"$top"/}" build_quietly "$dir"
  echo "running the tests, each on its line as it ends ($(elapsed))"
  ticking "running the tests in ${dir#"$top"/}" run_ctest "$dir"
  status=$(cat "$dir/ctest.status")
  summary=$(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\1 \2/p' "$dir/ctest.out")
  set -- ${summary:-1 1}
  failed=$1 total=$2
  skipped=$(grep -cE '\((Skipped|Disabled)\)$' "$dir/ctest.out" || true)
}

# The last line counts each test once: a test the sanitizers failed counts as failed.
finish() {
  [ -z "$3" ] || echo "$3"
  echo "took $(elapsed | cut -d' ' -f1-2)"
  echo "suite: $(($1 - $2 - skipped)) passed, $2 failed, $skipped skipped"
  exit "$4"
}

echo "== 1/3: the tests"
ctest_filter=
run_suite "$top/build/test"
tests=$total
plain_skipped=$skipped
[ "$status" -eq 0 ] || finish "$tests" "$failed" "" "$status"
echo "== 2/3: the tests again under AddressSanitizer and UndefinedBehaviorSanitizer"
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
ctest_filter="-LE package"
run_suite "$top/build/sanitize" -DCMAKE_CXX_FLAGS="$sanitize" -DCMAKE_EXE_LINKER_FLAGS="$sanitize"
skipped=$plain_skipped
[ "$status" -eq 0 ] || finish "$tests" "$failed" "failed under the sanitizers" "$status"
echo "== 3/3: fuzzing ($(elapsed))"
seconds=15
status=0
ticking "fuzzing" sh "$top/tools/fuzz.sh" "$seconds" || status=$?
[ "$status" -eq 0 ] || finish "$tests" 1 "a fuzz target found a fault" "$status"
finish "$tests" 0 "each also ran under ASan and UBSan but the package tests; fuzzed 2 targets x ${seconds} s" 0
