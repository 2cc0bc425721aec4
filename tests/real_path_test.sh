#!/bin/sh
# The real exported library on the real path: with a fixture's supplies over
# /sys/class/power_supply, ambrel-status must print exactly the fixture's
# expected.txt. Skipped (77) where the namespace cannot be made.
set -eu
host=$1
fixture=$2
here=$(dirname "$0")

actual=$(mktemp)
trap 'rm -f "$actual"' EXIT
status=0
sh "$here/in_fixture_namespace.sh" "$fixture" "$host" >"$actual" || status=$?
[ "$status" = 77 ] && exit 77
[ "$status" = 0 ] || { echo "ambrel-status failed inside the namespace"; exit 1; }

if cmp -s "$fixture/expected.txt" "$actual"; then
  echo "ambrel-status printed the expected report ($(wc -c <"$actual") bytes with the newline)"
else
  echo "expected:"; cat "$fixture/expected.txt"
  echo "actual:"; cat "$actual"
  exit 1
fi
