# Sourced by the package tests: a scratch folder that goes away however the test ends,
# and the checks that both the plain install and the Debian package must pass.
src=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/vtpapertool-package.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
trap 'exit 1' HUP INT TERM
printf 'vtpapertoollpr %s\n' "$VTPAPERTOOL_VERSION" >"$scratch/version"

failures=0
fail() { echo "FAIL: $*" >&2 && failures=$((failures + 1)); }
finish() {
  [ "$failures" -eq 0 ] && echo "all checks passed" && exit 0
  echo "$failures check(s) failed" && exit 1
}

# run_compare <what> <expected-file> <program> [word...]: the program must print exactly
# the expected bytes, nothing on standard error, and exit with status 0.
run_compare() {
  what=$1 expected=$2
  shift 2
  "$@" >"$scratch/got" 2>"$scratch/got.err" || fail "$what: exit status $?, not 0"
  cmp -s "$expected" "$scratch/got" || fail "$what: output differs: $(diff "$expected" "$scratch/got")"
  [ ! -s "$scratch/got.err" ] || fail "$what: wrote to standard error: $(head -3 "$scratch/got.err")"
}

# check_tree <root> <prefix> <page suffix>: <root> holds exactly the program, the manual
# page (its source with the prefix in FILES, compressed when the suffix says so), the completion and the copyright
# file, each of the first three under every model's name too (relative links, or ".so"
# pages where pages are not compressed), and with compressed pages the changelog. Every
# model's link must run as that model, and man must find the page by its name.
check_tree() {
  root=$1 top=$1/$2 gz=$3 man1=./$2/share/man/man1 comp=./$2/share/bash-completion/completions
  doc=./$2/share/doc/vtpapertoollpr module=./$2/share/ansible/plugins/modules/vtpapertoollpr_formats.py
  echo "./$2/bin/vtpapertoollpr $man1/vtpapertoollpr.1$gz $comp/vtpapertoollpr $doc/copyright $module ${gz:+$doc/changelog.gz}" |
    tr ' ' '\n' | grep . >"$scratch/tree.expected"
  for model in $models; do
    printf '%s -> vtpapertoollpr\n' "./$2/bin/vtpapertoollpr_$model" "$comp/vtpapertoollpr_$model"
    [ -n "$gz" ] && echo "$man1/vtpapertoollpr_$model.1$gz -> vtpapertoollpr.1$gz" || echo "$man1/vtpapertoollpr_$model.1"
    run_compare "vtpapertoollpr_$model --version" "$scratch/version" "$top/bin/vtpapertoollpr_$model" --version
    ! command -v man >/dev/null || MANPATH=$top/share/man man "vtpapertoollpr_$model" 2>&1 |
      grep -q 'VTPAPERTOOLLPR(1)' || fail "man vtpapertoollpr_$model shows no vtpapertoollpr(1)"
  done >>"$scratch/tree.expected"
  (cd "$root" && find . ! -type d \( -type l -printf '%p -> %l\n' -o -print \)) | LC_ALL=C sort >"$scratch/tree.got"
  LC_ALL=C sort "$scratch/tree.expected" | diff - "$scratch/tree.got" >&2 || fail "other files installed than expected"
  sed -e "s|^\.BI /usr/|.BI /$2/|" -e "1,/^\.TH/s| \"vtpapertoollpr\" | \"vtpapertoollpr $VTPAPERTOOL_VERSION\" |" \
    "$src/man/vtpapertoollpr.1" >"$scratch/page"
  gzip -dcf "$top/share/man/man1/vtpapertoollpr.1$gz" | cmp -s "$scratch/page" - ||
    fail "the installed manual page is not its source with the install's prefix and version"
  sed "s/@VERSION@/$VTPAPERTOOL_VERSION/" "$src/tests/data/usage_lmq700k.txt" >"$scratch/usage"
  run_compare "vtpapertoollpr_lmq700k --help" "$scratch/usage" "$top/bin/vtpapertoollpr_lmq700k" --help
}
