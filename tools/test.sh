#!/bin/sh
# Builds and runs the whole test suite: once as shipped, once under AddressSanitizer and
# UndefinedBehaviorSanitizer. Installs missing Debian packages when run as root.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tools/deps.sh"
need_packages cmake=cmake g++=g++ make=make /usr/include/gtest/gtest.h=libgtest-dev \
  groff=groff-base dpkg-shlibdeps=dpkg-dev dpkg-deb=dpkg gzip=gzip

jobs=$(nproc 2>/dev/null || echo 2)

run_suite() {
  dir=$1
  shift
  cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$jobs" >/dev/null
  (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

echo "== tests"
run_suite "$top/build/test"
echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
run_suite "$top/build/sanitize" -DCMAKE_CXX_FLAGS="$sanitize" -DCMAKE_EXE_LINKER_FLAGS="$sanitize"
echo "== fuzzing"
sh "$top/tools/fuzz.sh"
