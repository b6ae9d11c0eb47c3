# Sourced by the demo and test commands: installs the Debian packages they need when
# they are missing and the caller is root; otherwise says what is missing. Also lets a
# long quiet step say that it is still at it.

# ticking <what> <command> [word...]: runs the command, and while it runs says every 30 s
# "still <what> (N s so far)", counting from $started when the caller set it.
ticking() {
  _tick_what=$1 _tick_from=${started:-$(date +%s)}
  shift
  # The ticker takes its sleep along when it is stopped.
  (trap 'kill "$_tick_sleep" 2>/dev/null; exit 0' TERM
  while :; do
    sleep 30 >/dev/null &
    _tick_sleep=$!
    wait "$_tick_sleep"
    echo "still $_tick_what ($(($(date +%s) - _tick_from)) s so far)"
  done) &
  _tick_pid=$!
  _tick_status=0
  "$@" || _tick_status=$?
  kill "$_tick_pid" 2>/dev/null || true
  wait "$_tick_pid" 2>/dev/null || true
  return "$_tick_status"
}

# Usage: need_packages <command-or-file>=<package> ...
need_packages() {
  missing=
  for pair in "$@"; do
    probe=${pair%%=*}
    package=${pair#*=}
    case $probe in
      /*) [ -e "$probe" ] && continue ;;
      *) command -v "$probe" >/dev/null 2>&1 && continue ;;
    esac
    missing="$missing $package"
  done
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing Debian packages:$missing (run as root to install them)" >&2
    return 1
  fi
  echo "installing Debian packages:$missing" >&2
  ticking "installing Debian packages" sh -c \
    'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null' sh $missing
}
