# Sourced by the demo and test commands: installs the Debian packages they need when
# they are missing and the caller is root; otherwise says what is missing.
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
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
}
