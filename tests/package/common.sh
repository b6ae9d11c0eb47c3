# Sourced by the package tests: a scratch folder that goes away however the test ends,
# and the checks that both the plain install and the Debian package must pass.

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vtpapertool-package.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
trap 'exit 1' HUP INT TERM

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The usage screen as the lmq700k model shows it, byte for byte; a link that selected
# any other model would show another id or printer name in its examples.
usage_screen_lmq700k() {
  rule='==========================='
  printf '%s\n' "$rule"
  printf ' LPRng Paper Size Tool (v 0.2)\tAdds and deletes custom label formats of a label printer\n'
  printf ' Usage: vtpapertoollpr_xxxx -P Printer Name [-n add a Lable Format Name (<=32 bytes) -w Media Width(unit:mm) -h Media Height(unit:mm)]/[-d delete Lable Format Name]\n'
  printf ' **Label width is  3.5mm,6mm,9mm,12mm,18mm,24mm,36mm and Height is between 4mm and 1000mm(HS tape max is 500mm)\n'
  printf ' For example:\n'
  printf ' 1. Add a new Label Format with "New Label Format" name and 12mm width and 50mm length:\n'
  printf '\t"vtpapertoollpr_lmq700k -P LM-Q700k -n New\\ Label Namw ("HS" contain name means heat srink tube ex.HS12mmx50mm)\\ Format -w 12 -h 50" [enter]\n\n'
  printf ' 2. Remove the Label Format with "New Label Format" name:\n'
  printf '\t"vtpapertoollpr_lmq700k -P LM-Q700k -d New\\ Label\\ Format" [enter]\n\n'
  printf '%s\n' "$rule"
}

# run_compare <what> <expected-file> <program> [word...]: the program must print exactly
# the expected bytes and exit with status 0.
run_compare() {
  what=$1 expected=$2
  shift 2
  status=0
  "$@" >"$scratch/got" 2>"$scratch/got.err" || status=$?
  [ "$status" -eq 0 ] || fail "$what: exit status $status, not 0"
  cmp -s "$expected" "$scratch/got" || {
    fail "$what: output differs from the expected bytes"
    diff "$expected" "$scratch/got" | head -20
  }
  [ -s "$scratch/got.err" ] && fail "$what: wrote to standard error: $(head -3 "$scratch/got.err")"
  return 0
}

# check_tree <bin-dir> <models>: the program, one relative link per
# model that runs as that model, and nothing else in the bin directory.
check_tree() {
  bin=$1 models=$2
  [ -f "$bin/vtpapertoollpr" ] && [ ! -L "$bin/vtpapertoollpr" ] && [ -x "$bin/vtpapertoollpr" ] ||
    fail "$bin/vtpapertoollpr is not an executable file"
  expected_names=vtpapertoollpr
  for model in $models; do
    link="$bin/vtpapertoollpr_$model"
    expected_names="$expected_names${expected_names:+
}vtpapertoollpr_$model"
    if [ ! -L "$link" ]; then
      fail "vtpapertoollpr_$model is not a symbolic link"
      continue
    fi
    target=$(readlink "$link")
    [ "$target" = vtpapertoollpr ] ||
      fail "vtpapertoollpr_$model points to '$target', not to the relative name vtpapertoollpr"
    run_compare "vtpapertoollpr_$model --version" "$scratch/version" "$link" --version
  done
  printf '%s\n' "$expected_names" | LC_ALL=C sort >"$scratch/names.expected"
  (cd "$bin" && ls -A) | LC_ALL=C sort >"$scratch/names.got"
  cmp -s "$scratch/names.expected" "$scratch/names.got" || {
    fail "the bin directory holds other names than expected"
    diff "$scratch/names.expected" "$scratch/names.got"
  }
  run_compare "vtpapertoollpr_lmq700k with no options" "$scratch/usage" "$bin/vtpapertoollpr_lmq700k"
}

printf 'vtpapertoollpr 0.2\n' >"$scratch/version"
usage_screen_lmq700k >"$scratch/usage"

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
  exit 0
}
