#!/bin/sh
# The real exported library on the real path: with a fixture's supplies over
# /sys/class/power_supply, ambrel-status must print exactly the fixture's
# expected.txt, and ambrel-status --all its expected-power.txt. Skipped (77)
# where the namespace cannot be made.
set -eu
host=$1
fixture=$2
here=$(dirname "$0")

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
status=0
sh "$here/in_fixture_namespace.sh" "$fixture" sh -eu -c '
  "$1" >"$2/expected.txt"
  "$1" --all >"$2/expected-power.txt"
' sh "$host" "$out" || status=$?
[ "$status" = 77 ] && exit 77
[ "$status" = 0 ] || { echo "ambrel-status failed inside the namespace"; exit 1; }

for answer in expected.txt expected-power.txt; do
  if cmp -s "$fixture/$answer" "$out/$answer"; then
    echo "$answer: ambrel-status printed it ($(wc -c <"$out/$answer") bytes with the newline)"
  else
    echo "$answer differs. Expected:"; cat "$fixture/$answer"
    echo "actual:"; cat "$out/$answer"
    exit 1
  fi
done
