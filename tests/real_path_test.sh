#!/bin/sh
# The real exported library on the real path: a private mount namespace gets a
# tmpfs over /sys/class/power_supply with the example laptop written into it,
# and ambrel-status must print exactly the laptop's report. Exits 77 (skipped)
# where such a namespace cannot be made.
set -eu
host=$1
fixtures=$2

if [ "$(id -u)" != 0 ] || ! command -v unshare >/dev/null ||
   ! unshare -m --propagation private sh -c 'mount -t tmpfs probe /sys/class/power_supply' 2>/dev/null; then
  echo "SKIPPED: cannot mount over /sys/class/power_supply in a private mount namespace here"
  exit 77
fi

expected="$fixtures/laptop/expected.txt"
actual=$(mktemp)
trap 'rm -f "$actual"' EXIT

unshare -m --propagation private sh -eu -c '
  mount -t tmpfs ambrel-fixture /sys/class/power_supply
  cp -r "$1"/laptop/AC "$1"/laptop/BAT0 /sys/class/power_supply/
  "$2"
' sh "$fixtures" "$host" >"$actual" || { echo "ambrel-status failed inside the namespace"; exit 1; }

if cmp -s "$expected" "$actual"; then
  echo "ambrel-status printed the laptop's report ($(wc -c <"$actual") bytes with the newline)"
else
  echo "expected:"; cat "$expected"
  echo "actual:"; cat "$actual"
  exit 1
fi
