#!/bin/sh
# The manual page must format without a single groff warning. Exits 77 (skipped) when
# groff is not installed.
# Usage: manual.sh <manual-page>
set -u
command -v groff >/dev/null 2>&1 || {
  echo "skipped: groff is not installed"
  exit 77
}
warnings=$(groff -man -ww -z "$1" 2>&1)
status=$?
if [ "$status" -ne 0 ] || [ -n "$warnings" ]; then
  printf 'groff (exit status %s) reports:\n%s\n' "$status" "$warnings"
  exit 1
fi
echo "no warnings"
