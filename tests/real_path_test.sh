#!/bin/sh
# The real exported library on the real path: a private mount namespace gets a
# tmpfs over /sys/class/power_supply with a fixture's supplies copied into it,
# and ambrel-status must print exactly the fixture's expected.txt. Exits 77
# (skipped) where such a namespace cannot be made.
set -eu
host=$1
fixture=$2

if [ "$(id -u)" != 0 ] || ! command -v unshare >/dev/null ||
   ! unshare -m --propagation private sh -c 'mount -t tmpfs probe /sys/class/power_supply' 2>/dev/null; then
  echo "SKIPPED: cannot mount over /sys/class/power_supply in a private mount namespace here"
  exit 77
fi

actual=$(mktemp)
trap 'rm -f "$actual"' EXIT
unshare -m --propagation private sh -eu -c '
  mount -t tmpfs ambrel-fixture /sys/class/power_supply
  for supply in "$1"/*/; do cp -r "$supply" /sys/class/power_supply/; done
  "$2"
' sh "$fixture" "$host" >"$actual" || { echo "ambrel-status failed inside the namespace"; exit 1; }

if cmp -s "$fixture/expected.txt" "$actual"; then
  echo "ambrel-status printed the expected report ($(wc -c <"$actual") bytes with the newline)"
else
  echo "expected:"; cat "$fixture/expected.txt"
  echo "actual:"; cat "$actual"
  exit 1
fi
