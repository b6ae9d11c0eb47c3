# Sourced by the package tests: a scratch folder that goes away however the test ends,
# and the checks that both the plain install and the installed Debian package must pass.
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

# check_tree <root> <prefix> plain|deb <lister>: the lister prints every file and link
# installed, one "./<path>" or "./<path> -> <target>" a line, as seen from <root>. They must
# be exactly the program, the manual page (its source with the prefix in FILES), the
# completion and the Ansible collection, the first three under every model's name too:
# relative links, and ".so" pages in a plain install; a package compresses the page, links
# each model's page to it, and adds the copyright file, its changelog and its lintian
# override. Every model's link must run as that model, and man must find the page by its
# name. Leaves the list in $scratch/tree.got.
check_tree() {
  root=$1 top=$1/$2 gz= man1=./$2/share/man/man1 comp=./$2/share/bash-completion/completions
  [ "$3" = deb ] && gz=.gz
  collection=ansible_collections/vantrel/vtpapertoollpr
  {
    echo "./$2/bin/vtpapertoollpr" "$man1/vtpapertoollpr.1$gz" "$comp/vtpapertoollpr" | tr ' ' '\n'
    [ -z "$gz" ] || printf './usr/share/%s\n' doc/vtpapertoollpr/copyright doc/vtpapertoollpr/changelog.Debian.gz \
      lintian/overrides/vtpapertoollpr
    (cd "$src/ansible/$collection" && find . ! -type d ! -path '*/__pycache__/*' ! -name '*.pyc') |
      sed "s|^\.|./$2/share/ansible/collections/$collection|"
  } >"$scratch/tree.expected"
  for model in $models; do
    printf '%s -> vtpapertoollpr\n' "./$2/bin/vtpapertoollpr_$model" "$comp/vtpapertoollpr_$model"
    [ -n "$gz" ] && echo "$man1/vtpapertoollpr_$model.1$gz -> vtpapertoollpr.1$gz" || echo "$man1/vtpapertoollpr_$model.1"
    run_compare "vtpapertoollpr_$model --version" "$scratch/version" "$top/bin/vtpapertoollpr_$model" --version
    ! command -v man >/dev/null || MANPATH=$top/share/man man "vtpapertoollpr_$model" 2>&1 |
      grep -q 'VTPAPERTOOLLPR(1)' || fail "man vtpapertoollpr_$model shows no vtpapertoollpr(1)"
  done >>"$scratch/tree.expected"
  "$4" | LC_ALL=C sort >"$scratch/tree.got"
  LC_ALL=C sort "$scratch/tree.expected" | diff - "$scratch/tree.got" >&2 || fail "other files installed than expected"
  sed -e "s|^\.BI /usr/|.BI /$2/|" -e "1,/^\.TH/s| \"vtpapertoollpr\" | \"vtpapertoollpr $VTPAPERTOOL_VERSION\" |" \
    "$src/man/vtpapertoollpr.1" >"$scratch/page"
  gzip -dcf "$top/share/man/man1/vtpapertoollpr.1$gz" | cmp -s "$scratch/page" - ||
    fail "the installed manual page is not its source with the install's prefix and version"
  sed "s/@VERSION@/$VTPAPERTOOL_VERSION/" "$src/tests/data/usage_lmq700k.txt" |
    cat - "$src/tests/data/more_options.txt" >"$scratch/usage"
  run_compare "vtpapertoollpr_lmq700k --help" "$scratch/usage" "$top/bin/vtpapertoollpr_lmq700k" --help
}
